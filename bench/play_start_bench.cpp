// Play start on the 100,000-row library: RegisterFile with the playing channel,
// committed on its own, for known tracks (the row is refreshed), median
// and 99th percentile of single calls.
//   PlayStart/sync_off   PRAGMA synchronous=OFF on the benchmark's connection:
//                        the work without the disk's sync;
//   PlayStart/sync_full  the plugin's own setting: each commit waits for the disk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench_data.h"
#include "maintenance/register_file.h"
#include "sim/bass/bass_api.h"

namespace vellum::bench {
namespace {

constexpr std::int32_t kHostDuration = 215;

// A channel on the track, as the host's playback channel; freed at scope end.
class PlayingChannel {
public:
    explicit PlayingChannel(const std::u16string& path)
        : handle_(BASS_StreamCreateFile(0, path.c_str(), 0, 0, SIMBASS_UNICODE | SIMBASS_STREAM_DECODE)) {}
    ~PlayingChannel() { BASS_StreamFree(handle_); }
    PlayingChannel(const PlayingChannel&) = delete;
    PlayingChannel& operator=(const PlayingChannel&) = delete;
    AudioHandle get() const noexcept { return handle_; }

private:
    AudioHandle handle_;
};

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0;
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at), samples.end());
    return samples[at];
}

void PlayStart(benchmark::State& state, bool synchronousOff) {
    const std::vector<std::u16string>& paths = MediaPaths();
    LibraryConnection connection;
    if (!OpenLibrary(connection, CopyLibrary(synchronousOff ? "play-off.db" : "play-full.db"), synchronousOff))
        return state.SkipWithError("cannot open the library");
    const ProbeContext context = StandInContext();
    std::vector<double> samples;
    std::size_t next = 0;
    for (auto _ : state) {
        const PlayingChannel channel(paths[next]);
        const auto start = std::chrono::steady_clock::now();
        RegisterFile(context, connection, channel.get(), paths[next], kHostDuration);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds);
        next = (next + 7) % paths.size();
    }
    state.counters["median_ms"] = Percentile(samples, 0.5) * 1e3;
    state.counters["p99_ms"] = Percentile(samples, 0.99) * 1e3;
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("PlayStart/sync_off", PlayStart, true)
        ->Iterations(3000)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("PlayStart/sync_full", PlayStart, false)
        ->Iterations(300)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    return true;
}();

}  // namespace
}  // namespace vellum::bench
