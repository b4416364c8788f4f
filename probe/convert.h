// Text conversions into new zero-filled blocks from the platform heap, the form
// in which record fields hold their texts. Each returns null when the block
// cannot be had.
#pragma once

#include <string_view>

namespace vellum {

// UTF-16 to UTF-8.
char* WideToUtf8(std::u16string_view wide) noexcept;
// Text in the system ANSI code page to UTF-8, by way of UTF-16.
char* AnsiToUtf8(std::string_view ansi) noexcept;

}  // namespace vellum
