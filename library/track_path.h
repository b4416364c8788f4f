// The one rule that decides whether a track path may be written or removed.
//
// Path buffers hold 520 UTF-16 units with the terminator, so a track path has at
// most 519; the zero-terminated copies handed to SQLite, the audio library and
// the host end at the first NUL. A path that does not fit is refused whole by
// every writer and every remover, never cut: a cut path names another track.
#pragma once

#include <cstddef>
#include <string_view>

namespace vellum {

constexpr std::size_t kPathBufferUnits = 520;
constexpr std::size_t kMaxPathUnits = kPathBufferUnits - 1;

// At most 519 units and no NUL. The empty path fits: a remover may address the
// row with an empty name that another tool left behind.
bool FitsPathBuffer(std::u16string_view path) noexcept;

// A path a row may be written under: it fits and is not empty.
bool IsUsableTrackPath(std::u16string_view path) noexcept;

// The same rule for UTF-8 text from other plugins: the text has no NUL and
// converts to at most 519 UTF-16 units (a malformed byte counts as one unit,
// as it converts to one U+FFFD).
bool FitsPathBuffer(std::string_view utf8) noexcept;

}  // namespace vellum
