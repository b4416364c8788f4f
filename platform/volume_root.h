// The volume a Windows path lives on, read from its text alone.
#pragma once

#include <string>
#include <string_view>

namespace vellum::platform {

// The volume root of a path: "X:" for a drive letter, "\\server\share" for a
// UNC path (just "\\server" when it names no share); empty when it has none.
// Either slash separates.
std::u16string VolumeRoot(std::u16string_view path);

}  // namespace vellum::platform
