// vellumdb-tool.exe: the Windows front end. It reads the command line as
// UTF-16, picks Japanese or English from the user's interface language,
// finds Plugins\vellumdb.db beside itself and prints through the console
// in UTF-16 (raw UTF-16LE when the output is redirected to a file or pipe).
#include <windows.h>

#include <string>
#include <vector>

#include "tool/tool_runner.h"

namespace {

using vellum::tool::Language;

std::u16string AsU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::wstring AsWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::wstring ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/"));
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// Texts to standard output, progress to the error console only when it is one.
class WindowsConsole final : public vellum::tool::Console {
public:
    WindowsConsole() : out_(GetStdHandle(STD_OUTPUT_HANDLE)), progress_(GetStdHandle(STD_ERROR_HANDLE)) {}

    void Line(std::u16string_view text) override {
        std::wstring lines;
        for (char16_t unit : text) {
            if (unit == u'\n') lines += L'\r';
            lines += static_cast<wchar_t>(unit);
        }
        Write(out_, lines + L"\r\n");
    }

    void Progress(std::u16string_view text) override {
        if (!IsConsole(progress_)) return;
        const std::wstring shown = AsWide(text);
        const std::size_t blank = shown.size() < shownWidth_ ? shownWidth_ - shown.size() : 0;
        Write(progress_, L"\r" + shown + std::wstring(blank, L' ') + (text.empty() ? L"\r" : L""));
        shownWidth_ = shown.size();
    }

private:
    static void Write(HANDLE handle, const std::wstring& text) {
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(text.size());
        if (IsConsole(handle)) WriteConsoleW(handle, text.data(), length, &written, nullptr);
        else WriteFile(handle, text.data(), length * sizeof(wchar_t), &written, nullptr);
    }

    HANDLE out_;
    HANDLE progress_;
    std::size_t shownWidth_ = 0;
};

Language UserLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese : Language::English;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        std::vector<std::u16string> arguments;
        for (int i = 1; i < argc; ++i) arguments.push_back(AsU16(argv[i]));
        vellum::tool::Environment environment;
        environment.language = UserLanguage();
        environment.defaultLibrary = AsU16(ProgramFolder() + L"\\Plugins\\vellumdb.db");
        WindowsConsole console;
        return vellum::tool::RunTool(arguments, environment, console);
    } catch (...) {
        return vellum::tool::kLibraryUnusable;
    }
}
