// The cue-sheet parser on a 99-track sheet in each encoding it reads: one
// track's tags per call, as a play start or a batch item asks for them.
//   CueTrackLookup    FillCueTrackTags: opens and reads the sheet from disk;
//   CueParseInMemory  the parse alone, on the sheet's bytes in memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/seam.h"
#include "platform/text.h"
#include "probe/cue_sheet.h"

namespace vellum::bench {
namespace {

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// The sheet as text: album values, then 99 tracks with titles, performers,
// composers and indexes, lines ending in CR LF.
std::u16string SheetText() {
    std::string text =
        "REM GENRE \"Chamber Music\"\r\nREM DATE 1998\r\nREM DISCNUMBER 1\r\n"
        "REM COMPOSER \"Gabriel Faur\xC3\xA9\"\r\n"
        "REM COMMENT \"Live recording, Salle Pleyel \xE2\x80\x94 second night\"\r\n"
        "PERFORMER \"Ensemble Caf\xC3\xA9 Noir\"\r\nTITLE \"Les Nuits d'\xC3\x89t\xC3\xA9\"\r\n"
        "FILE \"Les Nuits d'\xC3\x89t\xC3\xA9.flac\" WAVE\r\n";
    for (int track = 1; track <= 99; ++track) {
        text += "  TRACK " + TwoDigits(track) + " AUDIO\r\n";
        text += "    TITLE \"M\xC3\xA9lodie " + TwoDigits(track) + " \xE2\x80\x94 Andante\"\r\n";
        text += "    PERFORMER \"Soloist " + TwoDigits(track % 7) + " & Ensemble Caf\xC3\xA9 Noir\"\r\n";
        text += "    REM COMPOSER \"Gabriel Faur\xC3\xA9\"\r\n";
        if (track > 1) text += "    INDEX 00 " + TwoDigits(track * 3 - 1) + ":58:00\r\n";
        text += "    INDEX 01 " + TwoDigits(track * 3) + ":00:00\r\n";
    }
    return platform::Utf8ToUtf16(text);
}

std::string Encode(const std::u16string& text, SheetEncoding encoding) {
    switch (encoding) {
        case SheetEncoding::Ansi: return platform::WideToAnsi(text);
        case SheetEncoding::Utf8: return "\xEF\xBB\xBF" + platform::Utf16ToUtf8(text);
        case SheetEncoding::Utf16Le:
        case SheetEncoding::Utf16Be: break;
    }
    const bool little = encoding == SheetEncoding::Utf16Le;
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += little ? low : high;
        bytes += little ? high : low;
    }
    return bytes;
}

struct Sheet {
    std::u16string path;
    std::string bytes;
};

Sheet WriteSheet(SheetEncoding encoding, const char* name) {
    Sheet sheet;
    sheet.bytes = Encode(SheetText(), encoding);
    const std::string path = std::string("C:\\Music\\Cue\\Sheet ") + name + ".cue";
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(sheet.bytes.data(), 1, sheet.bytes.size(), out);
        std::fclose(out);
    }
    sheet.path = platform::Utf8ToUtf16(path);
    return sheet;
}

void CueTrackLookup(benchmark::State& state, SheetEncoding encoding, const char* name) {
    const Sheet sheet = WriteSheet(encoding, name);
    std::vector<std::u16string> tracks;
    for (int track = 1; track <= 99; ++track)
        tracks.push_back(sheet.path + u"/" + platform::Utf8ToUtf16(std::to_string(track)));
    std::size_t next = 0;
    for (auto _ : state) {
        RecordOwner record(NewTrackRecord());
        FillCueTrackTags(*record, tracks[next]);
        if (record->tagTitle == nullptr || record->tagTitle[0] == '\0') return state.SkipWithError("no title read");
        next = next + 1 == tracks.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

void CueParseInMemory(benchmark::State& state, SheetEncoding encoding, const char* name) {
    const Sheet sheet = WriteSheet(encoding, name);
    const auto* bytes = reinterpret_cast<const unsigned char*>(sheet.bytes.data());
    std::int32_t track = 1;
    for (auto _ : state) {
        RecordOwner record(NewTrackRecord());
        ParseCueSheet(bytes, sheet.bytes.size(), track, *record);
        if (record->tagTitle == nullptr) return state.SkipWithError("no title read");
        track = track == 99 ? 1 : track + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

[[maybe_unused]] const bool registered = [] {
    const std::pair<SheetEncoding, const char*> encodings[] = {{SheetEncoding::Ansi, "ansi"},
                                                               {SheetEncoding::Utf8, "utf8"},
                                                               {SheetEncoding::Utf16Le, "utf16le"},
                                                               {SheetEncoding::Utf16Be, "utf16be"}};
    for (const auto& [encoding, name] : encodings) {
        benchmark::RegisterBenchmark((std::string("CueTrackLookup/") + name).c_str(), CueTrackLookup, encoding, name)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("CueParseInMemory/") + name).c_str(), CueParseInMemory, encoding,
                                     name)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
    return true;
}();

}  // namespace
}  // namespace vellum::bench
