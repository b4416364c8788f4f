// Reading a cue sheet as the host does for playback: the FILE each track belongs to,
// its INDEX 01 time and its TITLE.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

constexpr int kCueFramesPerSecond = 75;

struct CueSheetTrack {
    int number = 0;
    std::wstring file;                   // as written on the FILE line in force
    std::optional<uint32_t> startFrame;  // INDEX 01
    std::optional<std::wstring> title;
};

struct CueSheet {
    std::vector<CueSheetTrack> tracks;
};

// UTF-8 with or without a byte-order mark, UTF-16 LE with one, else the ANSI code page.
std::wstring DecodeSheetText(std::string_view bytes);
CueSheet ParseCueSheet(std::wstring_view text);
// Nothing when the file cannot be read.
std::optional<CueSheet> ReadCueSheet(const std::wstring& path);

}  // namespace host
