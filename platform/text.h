// UTF-8 <-> UTF-16 conversions. Invalid input (a lone surrogate, a malformed
// UTF-8 sequence) becomes U+FFFD, as the Windows conversions do.
#pragma once

#include <string>
#include <string_view>

namespace vellum::platform {

std::string Utf16ToUtf8(std::u16string_view wide);
std::u16string Utf8ToUtf16(std::string_view utf8);
// True when the text is well-formed UTF-8 (no overlong form, no surrogate, no
// code point past U+10FFFF), the text that converts to UTF-16 and back unchanged.
bool IsValidUtf8(std::string_view utf8) noexcept;
// The same into a buffer of the caller's: writes at most `capacity` units and
// returns how many. `utf8.size()` units always suffice.
std::size_t Utf8ToUtf16(std::string_view utf8, char16_t* out, std::size_t capacity) noexcept;

}  // namespace vellum::platform
