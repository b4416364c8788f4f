// The library tools on 100,000 rows, each pass on a fresh copy of its file:
//   BackupCopy    an online backup of the 100k library (PRAGMA quick_check,
//                 the stepped copy of 256 pages at a time, the move into place);
//   RelinkFolder  relink of 100,000 rows (60,000 plain files and 2,000 cue
//                 tracks under the old folder, 500 of them meeting an existing
//                 row, 37,500 elsewhere), in one transaction.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench_data.h"
#include "library/schema.h"
#include "maintenance/backup.h"
#include "maintenance/own_database.h"
#include "maintenance/relink.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace vellum::bench {
namespace {

using Clock = std::chrono::steady_clock;

void BackupCopy(benchmark::State& state) {
    const std::u16string source = platform::Utf8ToUtf16(Library100kFile());
    const std::u16string target = u"backup-bench.db";
    const StopSignal never;
    int pages = 0;
    for (auto _ : state) {
        platform::RemoveFile(target);
        const auto start = Clock::now();
        const BackupOutcome outcome =
            vellum::CopyLibrary(source, target, never, BackupSettings(),
                                [&](std::size_t, std::size_t total) { pages = static_cast<int>(total); });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (outcome != BackupOutcome::Done) return state.SkipWithError("the backup failed");
    }
    platform::RemoveFile(target);
    state.counters["rows"] = kLibraryRows;
    state.counters["pages"] = pages;
}

// The relink's library, built once.
const std::string& RelinkLibrary() {
    static const std::string file = [] {
        const std::string name = "relink-100k.db";
        RemoveDatabase(name);
        OwnDatabase database = OpenOwnDatabase(name, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 1000);
        MustExec(database.get(), kCreateTableSql);
        MustExec(database.get(), "PRAGMA synchronous = OFF; BEGIN");
        OwnStatement insert = PrepareOwn(
            database.get(), "INSERT INTO list(file_name, playcount, lastplayed, rating) VALUES(?1, ?2, ?3, ?4)");
        auto add = [&](const std::string& path, int count) {
            sqlite3_bind_text(insert.get(), 1, path.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert.get(), 2, count);
            sqlite3_bind_int(insert.get(), 3, 1000 + count);
            sqlite3_bind_int(insert.get(), 4, count % 3);
            sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
        };
        for (int i = 0; i < 60000; ++i)
            add("D:\\Music\\Artist" + std::to_string(i % 300) + "\\track" + std::to_string(i) + ".flac", i % 7);
        for (int i = 0; i < 2000; ++i)
            add("D:\\Music\\Cue" + std::to_string(i / 20) + "\\album.cue/" + std::to_string(i % 20 + 1), i % 5);
        for (int i = 0; i < 500; ++i)
            add("E:\\Library\\Artist" + std::to_string(i % 300) + "\\track" + std::to_string(i) + ".flac", 10);
        for (int i = 0; i < 37500; ++i) add("C:\\Other\\y" + std::to_string(i) + ".mp3", i % 11);
        MustExec(database.get(), "COMMIT");
        return name;
    }();
    return file;
}

void RelinkFolder(benchmark::State& state) {
    const std::string& library = RelinkLibrary();
    const std::u16string work = u"relink-work.db";
    const StopSignal never;
    std::size_t changes = 0;
    for (auto _ : state) {
        platform::RemoveFile(work);
        if (vellum::CopyLibrary(platform::Utf8ToUtf16(library), work, never, BackupSettings()) != BackupOutcome::Done)
            return state.SkipWithError("no copy of the library");
        OwnDatabase database = OpenOwnDatabase(platform::Utf16ToUtf8(work), SQLITE_OPEN_READWRITE, 1000);
        const auto start = Clock::now();
        const RelinkReport report =
            Relink(database.get(), FolderPrefix(u"D:\\Music"), FolderPrefix(u"E:\\Library"), true, nullptr);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (report.outcome != LibraryWork::Done || report.merged != 500) return state.SkipWithError("wrong relink");
        changes = report.changes.size();
    }
    platform::RemoveFile(work);
    state.counters["rows"] = 100000;
    state.counters["changed"] = static_cast<double>(changes);
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("BackupCopy", BackupCopy)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("RelinkFolder", RelinkFolder)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    return true;
}();

}  // namespace
}  // namespace vellum::bench
