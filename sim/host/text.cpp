#include "text.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>

namespace host {
namespace {

std::wstring Decode(UINT codePage, DWORD flags, std::string_view text, bool* ok) {
    *ok = true;
    if (text.empty()) return {};
    int count = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0) {
        *ok = false;
        return {};
    }
    std::wstring out(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), count);
    return out;
}

std::string Encode(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    int count =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0) {
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), count, nullptr,
                            nullptr);
    }
    return out;
}

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

std::string Utf8FromWide(std::wstring_view text) { return Encode(CP_UTF8, text); }
std::string AnsiFromWide(std::wstring_view text) { return Encode(CP_ACP, text); }

std::wstring WideFromUtf8(std::string_view text) {
    bool ok;
    return Decode(CP_UTF8, 0, text, &ok);
}

std::wstring WideFromAnsi(std::string_view text) {
    bool ok;
    return Decode(CP_ACP, 0, text, &ok);
}

std::optional<std::wstring> WideFromStrictUtf8(std::string_view text) {
    bool ok;
    std::wstring out = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, text, &ok);
    if (!ok) return std::nullopt;
    return out;
}

size_t FindNoCase(std::wstring_view text, std::wstring_view what) {
    if (what.size() > text.size()) return std::wstring_view::npos;
    for (size_t at = 0; at + what.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < what.size() && FoldAscii(text[at + i]) == FoldAscii(what[i])) ++i;
        if (i == what.size()) return at;
    }
    return std::wstring_view::npos;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) { return a.size() == b.size() && FindNoCase(a, b) == 0; }

std::optional<int64_t> ParseInteger(std::string_view text) {
    std::string copy(TrimSpaces(text));
    if (copy.empty()) return std::nullopt;
    size_t digits = (copy[0] == '-' || copy[0] == '+') ? 1 : 0;
    int base = 10;
    if (copy.size() > digits + 2 && copy[digits] == '0' && (copy[digits + 1] == 'x' || copy[digits + 1] == 'X')) {
        base = 16;
    }
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(copy.c_str(), &end, base);
    if (errno != 0 || end == copy.c_str() || *end != '\0') return std::nullopt;
    return static_cast<int64_t>(value);
}

std::optional<double> ParseNumber(std::string_view text) {
    std::string copy(TrimSpaces(text));
    if (copy.empty()) return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || *end != '\0') return std::nullopt;
    return value;
}

std::string_view TrimSpaces(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::string_view NextWord(std::string_view& rest) {
    rest = TrimSpaces(rest);
    size_t end = rest.find_first_of(" \t");
    std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : TrimSpaces(rest.substr(end));
    return word;
}

std::wstring FileNamePart(std::wstring_view path) {
    size_t cut = path.find_last_of(L"\\/");
    return std::wstring(cut == std::wstring_view::npos ? path : path.substr(cut + 1));
}

std::wstring FolderPart(std::wstring_view path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, cut));
}

}  // namespace host
