// Batch add of the 10,000 media files in one transaction, fresh (empty table)
// and as a refresh (every row already stored):
//   BatchAdd       the worker as the plugin runs it (RunBatch);
//   BatchAddSplit  the same items timed as their probe and SQL halves.
// The connection runs with PRAGMA synchronous=OFF, so that the one commit's
// disk sync does not blur the per-track costs (PlayStart shows the sync).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_data.h"
#include "maintenance/batch_worker.h"
#include "maintenance/register_file.h"

namespace vellum::bench {
namespace {

class NullSink final : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override { return true; }
    void Finished() override {}
};

LibraryConnection& BatchConnection() {
    static LibraryConnection connection;
    static const bool opened = (OpenScratchLibrary(connection, "batch.db"), true);
    (void)opened;
    return connection;
}

double Seconds(std::chrono::steady_clock::duration span) { return std::chrono::duration<double>(span).count(); }

void BatchAdd(benchmark::State& state, MediaTable table) {
    const BatchPathList paths = MediaBatch();
    const ProbeContext context = StandInContext();
    LibraryConnection& connection = BatchConnection();
    const BatchJob job{BatchMode::Add, paths, connection, context};
    NullSink sink;
    for (auto _ : state) {
        state.PauseTiming();
        PrepareMediaTable(connection, table);
        state.ResumeTiming();
        if (RunBatch(job, sink) != paths.Size()) state.SkipWithError("the batch stopped early");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.Size()));
}

void BatchAddSplit(benchmark::State& state, MediaTable table) {
    const std::vector<std::u16string>& paths = MediaPaths();
    const ProbeContext context = StandInContext();
    LibraryConnection& connection = BatchConnection();
    double probe = 0, sql = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PrepareMediaTable(connection, table);
        state.ResumeTiming();
        if (!connection.BeginBatch()) state.SkipWithError("the batch's transaction cannot be had");
        for (const std::u16string& path : paths) {
            const auto start = std::chrono::steady_clock::now();
            RecordOwner fresh(ProbeFreshRecord(context, 0, path, 0));
            const auto probed = std::chrono::steady_clock::now();
            std::unique_ptr<WorkEntry> entry = MakeRegistrationOf(std::move(fresh));
            if (entry != nullptr && !connection.ApplyInBatch(entry)) state.SkipWithError("the batch was lost");
            entry.reset();
            const auto stored = std::chrono::steady_clock::now();
            probe += Seconds(probed - start);
            sql += Seconds(stored - probed);
        }
        const auto committing = std::chrono::steady_clock::now();
        if (!connection.EndBatch()) state.SkipWithError("the batch did not commit");
        sql += Seconds(std::chrono::steady_clock::now() - committing);
    }
    const double tracks = static_cast<double>(state.iterations()) * static_cast<double>(paths.size());
    state.counters["probe_us"] = probe * 1e6 / tracks;
    state.counters["sql_us"] = sql * 1e6 / tracks;
    state.SetItemsProcessed(static_cast<std::int64_t>(tracks));
}

[[maybe_unused]] const bool registered = [] {
    for (const auto& [suffix, table] :
         {std::pair{"fresh", MediaTable::Fresh}, std::pair{"refresh", MediaTable::Refresh}}) {
        benchmark::RegisterBenchmark((std::string("BatchAdd/") + suffix).c_str(), BatchAdd, table)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("BatchAddSplit/") + suffix).c_str(), BatchAddSplit, table)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

}  // namespace
}  // namespace vellum::bench
