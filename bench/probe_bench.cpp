// The core's own share of probing a track: ProbePath on an audio library that
// answers at once from memory (no file opened, no tag block parsed), so what
// is left is the core's work: path checks, conversions, the record's blocks.
// BatchAddSplit's probe_us adds the stand-in's file reading and tag parsing.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "probe/track_source.h"

namespace vellum::bench {
namespace {

constexpr AudioHandle kChannel = 7;
constexpr std::uint64_t kLengthBytes = 176400ull * 215;

AudioLibrary InstantAudio() {
    AudioLibrary audio;
    audio.StreamCreateFile = [](AudioBool, const void*, std::uint64_t, std::uint64_t, std::uint32_t) {
        return kChannel;
    };
    audio.StreamFree = [](AudioHandle) -> AudioBool { return 1; };
    audio.ChannelGetInfo = [](AudioHandle, AudioChannelInfo* info) -> AudioBool {
        *info = AudioChannelInfo{44100, 2, 0, 0x10900, 16, 0, 0, nullptr};
        return 1;
    };
    audio.ChannelGetLength = [](AudioHandle, std::uint32_t) { return kLengthBytes; };
    audio.ChannelBytes2Seconds = [](AudioHandle, std::uint64_t bytes) { return static_cast<double>(bytes) / 176400.0; };
    audio.StreamGetFilePosition = [](AudioHandle, std::uint32_t) -> std::uint64_t { return 24000000; };
    audio.TagsRead = [](AudioHandle, const char*) { return "Caf\xC3\xA9 Ensemble 042 - Album 0421"; };
    return audio;
}

void ProbeCoreOnly(benchmark::State& state) {
    const AudioLibrary audio = InstantAudio();
    const ProbeContext context{audio, nullptr};
    std::vector<std::u16string> paths;
    for (int i = 0; i < 1000; ++i)
        paths.push_back(platform::Utf8ToUtf16("C:\\Music\\Artist " + std::to_string(i / 100) + "\\Album " +
                                              std::to_string(i / 10) + "\\" + std::to_string(i % 10 + 1) + " - Song " +
                                              std::to_string(i) + ".flac"));
    std::size_t next = 0;
    for (auto _ : state) {
        RecordOwner record(NewTrackRecord());
        ProbePath(context, *record, paths[next]);
        if (record->file_name == nullptr) return state.SkipWithError("nothing probed");
        next = next + 1 == paths.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("ProbeCoreOnly", ProbeCoreOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();
    return true;
}();

}  // namespace
}  // namespace vellum::bench
