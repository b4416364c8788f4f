// Text conversions used by the stand-in's readers (portable, no platform headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace simbass {

// Appends the UTF-8 form of one code point (invalid ones become U+FFFD).
void AppendUtf8(std::string& out, std::uint32_t cp);
// UTF-16 code units to UTF-8; lone surrogates become U+FFFD.
std::string Utf16ToUtf8(const char16_t* units, std::size_t count);
std::string Utf16ToUtf8(const std::u16string& s);
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& s);
// ISO-8859-1 to UTF-8.
std::string Latin1ToUtf8(const char* bytes, std::size_t count);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(const char* bytes, std::size_t count);
// UTF-8 as it is when well-formed, else taken as ISO-8859-1.
std::string Utf8OrLatin1(const char* bytes, std::size_t count);
// The length of a zero-terminated UTF-16 string, at most `limit` units.
std::size_t Utf16Length(const char16_t* s, std::size_t limit);
// ASCII case-insensitive equality.
bool EqualsIgnoreCase(const std::string& a, const char* b);

}  // namespace simbass
