// The broken-link scan over 100,000 rows (2,000 cue sheets of 20 tracks and
// 60,000 plain files, half of each gone), on the real disk through stat(), two
// ways in turn within each pass:
//   cached     CollectBrokenLinks, which asks once per sheet and per volume;
//   every_row  the same decisions testing every row on its own.
// Warm: one untimed scan before the timed ones.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "bench_data.h"
#include "maintenance/purge.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "probe/track_source.h"

namespace vellum::bench {
namespace {

// The disk as the plugin sees it, counting the questions.
class DiskTester final : public ExistenceTester {
public:
    bool PathExists(std::u16string_view path) override {
        ++pathTests;
        struct stat info {};
        return !path.empty() && stat(platform::Utf16ToUtf8(path).c_str(), &info) == 0;
    }
    bool VolumeReachable(std::u16string_view root) override {
        ++volumeTests;
        return platform::VolumeReachable(root);
    }
    std::size_t pathTests = 0, volumeTests = 0;
};

LibraryConnection& PurgeConnection() {
    static LibraryConnection connection;
    static const bool opened = OpenLibrary(connection, PurgeLibrary().databaseFile, false);
    (void)opened;
    return connection;
}

// Every row tested on its own: names read, converted and judged one by one.
std::size_t ScanEveryRow(LibraryConnection& connection, ExistenceTester& tester, BatchPathList& out) {
    Statement names(connection.Handle(), "SELECT file_name FROM list");
    std::size_t collected = 0;
    while (sqlite3_step(names.Get()) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(names.Get(), 0));
        const std::u16string path = platform::Utf8ToUtf16(name != nullptr ? name : "");
        if (ClassifyTrackPath(path) == TrackPathKind::Url) continue;
        const std::u16string_view text = ExistenceTestText(path);
        if ((text.empty() && !path.empty()) || tester.PathExists(text)) continue;
        out.Append(path);
        ++collected;
    }
    return collected;
}

using Clock = std::chrono::steady_clock;

// One scan into a fresh list; its time in seconds, its disk tests in `tests`.
template <typename Scan>
double TimedScan(Scan scan, LibraryConnection& connection, std::size_t expected, std::size_t& tests) {
    DiskTester tester;
    BatchPathList out;
    const auto start = Clock::now();
    const std::size_t collected = scan(connection, tester, out);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    tests = tester.pathTests + tester.volumeTests;
    return collected == expected ? seconds : -1;
}

void PurgeScan(benchmark::State& state) {
    const PurgeSet& set = PurgeLibrary();
    LibraryConnection& connection = PurgeConnection();
    std::size_t cachedTests = 0, everyTests = 0;
    // Warm: the first look at a missing name costs a directory search.
    TimedScan(CollectBrokenLinks, connection, set.missingRows, cachedTests);
    double cached = 0, every = 0;
    for (auto _ : state) {
        const double cachedPass = TimedScan(CollectBrokenLinks, connection, set.missingRows, cachedTests);
        const double everyPass = TimedScan(ScanEveryRow, connection, set.missingRows, everyTests);
        if (cachedPass < 0 || everyPass < 0) return state.SkipWithError("wrong rows collected");
        state.SetIterationTime(cachedPass);
        cached += cachedPass;
        every += everyPass;
    }
    const auto passes = static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(set.rows);
    state.counters["cached_ms"] = cached * 1e3 / passes;
    state.counters["cached_tests"] = static_cast<double>(cachedTests);
    state.counters["every_row_ms"] = every * 1e3 / passes;
    state.counters["every_row_tests"] = static_cast<double>(everyTests);
    state.counters["every_row_per_cached"] = every / cached;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(set.rows));
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("PurgeScan", PurgeScan)->UseManualTime()->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace vellum::bench
