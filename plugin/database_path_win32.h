// Where the library file lives, and the ANSI text that names it for other
// plugins (GetDatabasePath).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace vellum {

// The module's own full path with its extension replaced by ".db".
std::wstring DatabasePathFor(HMODULE module);

// A text in the ANSI code page, at most `capacity` - 1 bytes, that the ANSI
// file functions resolve to `path`: the long form, or else the short (8.3)
// form of an existing file, preferring a plain ASCII one, which SQLite (reading
// UTF-8) resolves too. Empty when neither form is exact within the capacity.
std::string AnsiNameFor(const std::wstring& path, std::size_t capacity);

}  // namespace vellum
