// The cost of durability where it is paid: the plugin's work with another
// program holding a read lock (a stepped statement, which stops every COMMIT)
// beside the same work alone (the plugin's own setting, synchronous=FULL):
//   ForeignReader/PlayStart/{alone,reader}  a play start of a known track on
//       the 10,000-row media table (RegisterFile with the playing channel), as
//       the window thread runs it. Alone it commits; with the reader its
//       COMMIT is refused at once and the registration is appended to the
//       store of waiting work instead. Neither waits for the reader.
//   ForeignReader/BatchCommits/{alone,reader}  a batch of the 10,000 media
//       files with an end-of-play credit every 100 items, counting the
//       writer's commits (sqlite3_commit_hook) until the work is on disk;
//       the reader lets go 0.5 s after the batch ends.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_data.h"
#include "maintenance/batch_worker.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "sim/bass/bass_api.h"

namespace vellum::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Another program's connection with a row of a query in hand: a read lock.
class ForeignReader {
public:
    explicit ForeignReader(const char* file) {
        sqlite3_open(file, &database_);
        sqlite3_prepare_v2(database_, "SELECT file_name FROM list", -1, &statement_, nullptr);
        sqlite3_step(statement_);
    }
    ~ForeignReader() {
        sqlite3_finalize(statement_);
        sqlite3_close(database_);
    }
    ForeignReader(const ForeignReader&) = delete;
    ForeignReader& operator=(const ForeignReader&) = delete;

private:
    sqlite3* database_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

class NullSink final : public BatchProgressSink {
public:
    explicit NullSink(LibraryConnection& connection) : connection_(connection) {}
    bool ItemStarting(std::size_t index) override {
        if (index % 100 == 99) CreditCompletedPlay(connection_, MediaPaths()[index], 1700000000);
        return true;
    }
    void Finished() override {}

private:
    LibraryConnection& connection_;
};

int CountCommit(void* count) {
    ++*static_cast<int*>(count);
    return 0;
}

// Counts the commits of the plugin's writer into `count`; null stops counting.
void HookCommits(LibraryConnection& connection, int* count) {
    connection.ReadWith([count](sqlite3* writer) {
        sqlite3_commit_hook(writer, count != nullptr ? CountCommit : nullptr, count);
        return SQLITE_OK;
    });
}

void PlayStart(benchmark::State& state, bool withReader) {
    const std::vector<std::u16string>& paths = MediaPaths();
    LibraryConnection connection;
    OpenScratchLibrary(connection, withReader ? "reader-play.db" : "alone-play.db");
    PrepareMediaTable(connection, MediaTable::Refresh);
    connection.ReadWith([](sqlite3* writer) {  // the plugin's own setting
        return sqlite3_exec(writer, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    });
    const std::string file = sqlite3_db_filename(connection.Handle(), "main");
    std::unique_ptr<ForeignReader> reader(withReader ? new ForeignReader(file.c_str()) : nullptr);
    const ProbeContext context = StandInContext();
    std::vector<double> samples;
    std::size_t next = 0;
    for (auto _ : state) {
        const AudioHandle channel =
            BASS_StreamCreateFile(0, paths[next].c_str(), 0, 0, SIMBASS_UNICODE | SIMBASS_STREAM_DECODE);
        const auto start = Clock::now();
        RegisterFile(context, connection, channel, paths[next], 215);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        BASS_StreamFree(channel);
        state.SetIterationTime(seconds);
        samples.push_back(seconds);
        next = (next + 7) % paths.size();
    }
    reader.reset();
    if (!connection.LandWaitingWork(std::chrono::milliseconds(3000))) state.SkipWithError("work still waits");
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2] * 1e3;
    state.counters["max_ms"] = sorted.back() * 1e3;
}

void BatchCommits(benchmark::State& state, bool withReader) {
    const BatchPathList paths = MediaBatch();
    const ProbeContext context = StandInContext();
    int commits = 0;
    for (auto _ : state) {
        state.PauseTiming();
        LibraryConnection connection;
        OpenScratchLibrary(connection, withReader ? "reader-batch.db" : "alone-batch.db");
        PrepareMediaTable(connection, MediaTable::Fresh);
        const std::string file = sqlite3_db_filename(connection.Handle(), "main");
        std::unique_ptr<ForeignReader> reader(withReader ? new ForeignReader(file.c_str()) : nullptr);
        commits = 0;
        HookCommits(connection, &commits);
        state.ResumeTiming();
        NullSink sink(connection);
        RunBatch(BatchJob{BatchMode::Add, paths, connection, context}, sink);
        if (reader) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        reader.reset();
        if (!connection.LandWaitingWork(std::chrono::milliseconds(3000))) state.SkipWithError("work still waits");
        state.PauseTiming();
        HookCommits(connection, nullptr);
        connection.Close();
        state.ResumeTiming();
    }
    state.counters["commits"] = commits;
}

[[maybe_unused]] const bool registered = [] {
    for (bool reader : {false, true}) {
        const char* suffix = reader ? "reader" : "alone";
        benchmark::RegisterBenchmark((std::string("ForeignReader/PlayStart/") + suffix).c_str(), PlayStart, reader)
            ->Iterations(200)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("ForeignReader/BatchCommits/") + suffix).c_str(), BatchCommits,
                                     reader)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
}  // namespace vellum::bench
