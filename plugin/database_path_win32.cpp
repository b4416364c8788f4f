#include "plugin/database_path_win32.h"

#include <vector>

namespace vellum {
namespace {

bool IsAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// The text in the ANSI code page, or false when a character has no exact form
// there (no best-fit look-alikes, no '?').
bool ExactAnsi(const std::wstring& wide, std::string& ansi) {
    if (wide.empty()) return false;
    const int count = static_cast<int>(wide.size());
    const bool utf8 = GetACP() == CP_UTF8;
    // UTF-8 has no default character; it refuses lone surrogates instead.
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossyOut = utf8 ? nullptr : &lossy;
    const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), count, nullptr, 0, nullptr, lossyOut);
    if (length <= 0 || lossy) return false;
    ansi.assign(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide.data(), count, ansi.data(), length, nullptr, lossyOut);
    return !lossy;
}

// The short (8.3) form of an existing file's path, or empty.
std::wstring ShortForm(const std::wstring& path) {
    const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), needed);
    if (length == 0 || length >= needed) return std::wstring();
    return std::wstring(buffer.data(), length);
}

}  // namespace

std::wstring DatabasePathFor(HMODULE module) {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    std::wstring::size_type slash = path.find_last_of(L"\\/");
    std::wstring::size_type dot = path.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
    path += L".db";
    return path;
}

std::string AnsiNameFor(const std::wstring& path, std::size_t capacity) {
    std::string candidates[2];
    bool exact[2] = {ExactAnsi(path, candidates[0]), false};
    const std::wstring shortPath = ShortForm(path);
    if (!shortPath.empty()) exact[1] = ExactAnsi(shortPath, candidates[1]);
    for (bool asciiOnly : {true, false}) {
        for (int i = 0; i < 2; ++i) {
            if (exact[i] && candidates[i].size() < capacity && (!asciiOnly || IsAscii(candidates[i])))
                return candidates[i];
        }
    }
    return std::string();
}

}  // namespace vellum
