// Text conversions between UTF-16, UTF-8 and the ANSI code page, and small string helpers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host {

std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);
// Decodes strict UTF-8; nothing when the bytes are not valid UTF-8.
std::optional<std::wstring> WideFromStrictUtf8(std::string_view text);

// Case-insensitive search (ASCII letters fold); npos when absent.
size_t FindNoCase(std::wstring_view text, std::wstring_view what);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// Decimal or 0x-prefixed hexadecimal, optionally signed; nothing on trailing junk.
std::optional<int64_t> ParseInteger(std::string_view text);
std::optional<double> ParseNumber(std::string_view text);

std::string_view TrimSpaces(std::string_view text);
// Splits off the first space-delimited word; the rest loses its leading spaces.
std::string_view NextWord(std::string_view& rest);

// The part after the last backslash or slash.
std::wstring FileNamePart(std::wstring_view path);
// The part before the last backslash or slash (empty when there is none).
std::wstring FolderPart(std::wstring_view path);

}  // namespace host
