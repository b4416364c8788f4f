// UTF-8 <-> UTF-16 conversions. Invalid input (a lone surrogate, a malformed
// UTF-8 sequence) becomes U+FFFD, as the Windows conversions do.
#pragma once

#include <string>
#include <string_view>

namespace vellum::platform {

std::string Utf16ToUtf8(std::u16string_view wide);
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace vellum::platform
