// Memory across one batch of 100,000 distinct tracks (the media files under
// ten names each): heap in use at its peak and the peak resident set, both
// counted from the batch's start and read after 10,000, 50,000 and 100,000
// items. Flat figures mean no growth per item.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "heap_counter.h"
#include "maintenance/batch_worker.h"

namespace vellum::bench {
namespace {

constexpr std::size_t kItems = 100000;
constexpr std::size_t kMarks[] = {10000, 50000, 100000};

class MemorySink final : public BatchProgressSink {
public:
    explicit MemorySink(benchmark::State& state) : state_(state) {
        residentStart_ = ResidentNowKiB();
        state_.counters["rss_start_KiB"] = static_cast<double>(residentStart_);
    }
    bool ItemStarting(std::size_t index) override {
        if (index == kMarks[0] || index == kMarks[1]) Mark(index);
        return true;
    }
    void Finished() override { Mark(kMarks[2]); }

private:
    void Mark(std::size_t items) {
        const std::string at = std::to_string(items / 1000) + "k";
        state_.counters["heap_peak_KiB@" + at] = static_cast<double>(vellum_heap_peak()) / 1024.0;
        state_.counters["rss_peak_KiB@" + at] = static_cast<double>(ResidentPeakKiB() - residentStart_);
    }

    benchmark::State& state_;
    long residentStart_ = 0;
};

void BatchMemory(benchmark::State& state) {
    BatchPathList paths;
    for (const std::u16string& path : LinkedMediaPaths(kItems)) paths.Append(path);
    const ProbeContext context = StandInContext();
    for (auto _ : state) {
        RemoveDatabase("memory.db");
        LibraryConnection connection;
        if (!OpenLibrary(connection, "memory.db", true)) return state.SkipWithError("cannot open the library");
        const BatchJob job{BatchMode::Add, paths, connection, context};
        ResetResidentPeak();
        MemorySink sink(state);
        vellum_heap_counting(1);
        const std::size_t done = RunBatch(job, sink);
        vellum_heap_counting(0);
        if (done != kItems) return state.SkipWithError("the batch stopped early");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kItems));
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("BatchMemory/100000", BatchMemory)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace
}  // namespace vellum::bench
