#include "cue_sheet.h"

#include <windows.h>

#include "text.h"
#include "platform/unique_handle_win32.h"

namespace host {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The next token: a double-quoted text (quotes removed) or a run of non-blanks.
std::wstring NextToken(std::wstring_view& rest) {
    size_t i = 0;
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    rest.remove_prefix(i);
    if (rest.empty()) return {};
    size_t end;
    std::wstring token;
    if (rest[0] == L'"') {
        end = rest.find(L'"', 1);
        token.assign(rest.substr(1, end == std::wstring_view::npos ? end : end - 1));
        end = end == std::wstring_view::npos ? rest.size() : end + 1;
    } else {
        end = 0;
        while (end < rest.size() && !IsBlank(rest[end])) ++end;
        token.assign(rest.substr(0, end));
    }
    rest.remove_prefix(end);
    return token;
}

std::optional<uint32_t> ParseCueTime(const std::wstring& text) {
    unsigned minutes = 0, seconds = 0, frames = 0;
    wchar_t tail = 0;
    if (swscanf(text.c_str(), L"%u:%u:%u%lc", &minutes, &seconds, &frames, &tail) != 3) {
        return std::nullopt;
    }
    return (minutes * 60 + seconds) * kCueFramesPerSecond + frames;
}

void ParseLine(std::wstring_view line, std::wstring& file, CueSheet& sheet) {
    std::wstring keyword = NextToken(line);
    if (EqualsNoCase(keyword, L"FILE")) {
        file = NextToken(line);
    } else if (EqualsNoCase(keyword, L"TRACK")) {
        CueSheetTrack track;
        track.number = _wtoi(NextToken(line).c_str());
        track.file = file;
        sheet.tracks.push_back(track);
    } else if (sheet.tracks.empty()) {
        return;  // album-level lines carry nothing the host plays by
    } else if (EqualsNoCase(keyword, L"TITLE")) {
        sheet.tracks.back().title = NextToken(line);
    } else if (EqualsNoCase(keyword, L"INDEX") && _wtoi(NextToken(line).c_str()) == 1) {
        sheet.tracks.back().startFrame = ParseCueTime(NextToken(line));
    }
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > (16 << 20)) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return std::nullopt;
    }
    bytes.resize(read);
    return bytes;
}

}  // namespace

std::wstring DecodeSheetText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return WideFromUtf8(bytes.substr(3));
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<wchar_t>(static_cast<uint8_t>(bytes[2 + 2 * i]) |
                                           static_cast<uint8_t>(bytes[3 + 2 * i]) << 8);
        }
        return text;
    }
    if (auto utf8 = WideFromStrictUtf8(bytes)) return *utf8;
    return WideFromAnsi(bytes);
}

CueSheet ParseCueSheet(std::wstring_view text) {
    CueSheet sheet;
    std::wstring file;
    while (!text.empty()) {
        size_t end = text.find(L'\n');
        std::wstring_view line = text.substr(0, end);
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
        ParseLine(line, file, sheet);
    }
    return sheet;
}

std::optional<CueSheet> ReadCueSheet(const std::wstring& path) {
    auto bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    return ParseCueSheet(DecodeSheetText(*bytes));
}

}  // namespace host
