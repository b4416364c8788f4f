#include "window_text.h"

#include "text.h"

namespace host {

std::wstring WindowTextOf(HWND window) {
    if (window == nullptr) return {};
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

std::string OneLineUtf8(const std::wstring& text) {
    std::string out;
    for (char c : Utf8FromWide(text)) {
        if (c == '\r') continue;
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

}  // namespace host
