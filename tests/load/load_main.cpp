// vellum_load [--seconds S] [--audio N] [--plugins N]
//
// Runs play starts with end-of-play updates, batch add and remove, other
// plugins' AddFile, RemoveFile and GetRecord, listener churn with a fan-out,
// and another program taking read and write locks on the file for up to 3 s,
// all at once for S seconds (default 10). Then checks the whole table: every
// played row's playcount equals the plays credited to it, every row holds
// exactly what its writers write, no row is missing or left over, no
// transaction is open. Prints the figures; exits 1 on any failure.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "api/plugin_state.h"
#include "library/rows.h"
#include "maintenance/pending_work.h"
#include "load_actors.h"

namespace vellum::load {
namespace {

struct Options {
    double seconds = 10;
    int audio = 3;
    int plugins = 2;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const double value = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--seconds") == 0 && value > 0) options.seconds = value;
        else if (std::strcmp(argv[i], "--audio") == 0 && value >= 1) options.audio = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--plugins") == 0 && value >= 1) options.plugins = static_cast<int>(value);
        else return false;
    }
    return argc % 2 == 1;
}

std::string Scalar(const char* sql) {
    Statement statement(State().connection.Handle(), sql);
    if (statement.Get() == nullptr || sqlite3_step(statement.Get()) != SQLITE_ROW) return "";
    const unsigned char* text = sqlite3_column_text(statement.Get(), 0);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
}

// No column of any row holds NULL: every writer writes all 25.
std::string NullCells() {
    std::string sql = "SELECT count(*) FROM list WHERE 0";
    for (const ColumnInfo& column : kColumns) sql += std::string(" OR ") + column.name + " IS NULL";
    return Scalar(sql.c_str());
}

struct TableCheck {
    long rows = 0, expected = 0, lost = 0, plays = 0;
};

void CheckPlayed(World& world, TableCheck& check) {
    for (std::size_t i = 0; i < world.played.size(); ++i) {
        const Track& track = world.played[i];
        RecordOwner record(ReadTrackRow(State().connection, track.utf8.c_str()));
        ++check.expected;
        if (!record) {
            ++check.lost;
            world.failures.Report(track.utf8 + ": the played row is gone");
            continue;
        }
        const std::string differs = World::Mismatch(*record, *track.reference, false);
        if (!differs.empty()) world.failures.Report(track.utf8 + ": column " + differs + " differs");
        const std::size_t credited = world.ledgers[i].Count();
        check.plays += record->playcount;
        if (static_cast<std::size_t>(record->playcount) != credited)
            world.failures.Report(track.utf8 + ": playcount " + std::to_string(record->playcount) + ", credited " +
                                  std::to_string(credited));
        if (credited == 0 ? record->lastplayed != 0 : !world.ledgers[i].Holds(record->lastplayed))
            world.failures.Report(track.utf8 + ": lastplayed " + std::to_string(record->lastplayed) +
                                  " was never credited");
    }
}

void CheckOthers(World& world, TableCheck& check) {
    for (const Track& track : world.batched)
        if (RecordOwner(ReadTrackRow(State().connection, track.utf8.c_str())))
            world.failures.Report(track.utf8 + ": left over after the last batch remove");
    for (const auto& own : world.owned)
        for (const Track& track : own) {
            RecordOwner record(ReadTrackRow(State().connection, track.utf8.c_str()));
            if (track.stored) ++check.expected;
            if (track.stored && !record) {
                ++check.lost;
                world.failures.Report(track.utf8 + ": added and never removed, but gone");
            } else if (!track.stored && record) {
                world.failures.Report(track.utf8 + ": removed, but still there");
            } else if (record && !World::Mismatch(*record, *track.reference, true).empty()) {
                world.failures.Report(track.utf8 + ": its row differs from what AddFile writes");
            }
        }
}

TableCheck CheckTable(World& world) {
    TableCheck check;
    if (sqlite3_get_autocommit(State().connection.Handle()) == 0) world.failures.Report("a transaction is still open");
    if (Scalar("PRAGMA integrity_check") != "ok") world.failures.Report("the database fails its integrity check");
    if (NullCells() != "0") world.failures.Report("rows hold NULL cells");
    CheckPlayed(world, check);
    CheckOthers(world, check);
    check.rows = std::atol(Scalar("SELECT count(*) FROM list").c_str());
    if (check.rows != check.expected)
        world.failures.Report(std::to_string(check.rows) + " rows, " + std::to_string(check.expected) + " expected");
    return check;
}

void Print(const World& world, const Options& options, double elapsed, int threads, const TableCheck& check) {
    const Counters& c = world.counters;
    const long library = c.playStarts + c.credits + c.addFiles + c.removeFiles + c.getRecords + c.batchItems;
    const long listeners = c.listenerChanges + c.fanOuts;
    std::printf(
        "vellum_load: %.1f s, %d threads at once (%d audio, %d plugin, batch, foreign locks, listener churn, "
        "fan-out, main)\n",
        elapsed, threads, options.audio, options.plugins);
    std::printf(
        "  library operations: %ld, %.0f/s: play starts %ld, plays credited %ld, AddFile %ld, "
        "RemoveFile %ld, GetRecord %ld, batch items %ld in %ld batches\n",
        library, library / elapsed, c.playStarts.load(), c.credits.load(), c.addFiles.load(), c.removeFiles.load(),
        c.getRecords.load(), c.batchItems.load(), c.batches.load());
    std::printf("  listener operations: %ld, %.0f/s: changes %ld, fan-outs %ld\n", listeners, listeners / elapsed,
                c.listenerChanges.load(), c.fanOuts.load());
    std::printf("  another program: %ld read locks, %ld write locks, held %.1f s of %.1f s\n", c.readLocks.load(),
                c.writeLocks.load(), c.lockedMs.load() / 1000.0, elapsed);
    std::printf("  final table: %ld rows (%ld expected), %ld plays stored, rows lost %ld, failures %ld\n", check.rows,
                check.expected, check.plays, check.lost, world.failures.Count());
}

int Run(const Options& options) {
    World world(options.plugins);
    world.audioThreads = options.audio;
    AttachPermanentListener();
    std::vector<std::thread> threads;
    for (int i = 0; i < options.audio; ++i) threads.emplace_back(RunAudio, std::ref(world), 1u + i);
    for (int i = 0; i < options.plugins; ++i) threads.emplace_back(RunPluginCalls, std::ref(world), i);
    threads.emplace_back(RunBatches, std::ref(world));
    threads.emplace_back(RunForeignLocks, std::ref(world));
    threads.emplace_back(RunListenerChurn, std::ref(world));
    threads.emplace_back(RunFanOut, std::ref(world));
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
    world.stop = true;
    for (std::thread& thread : threads) thread.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (DetachPermanentListener() != world.counters.fanOuts)
        world.failures.Report("the permanent listener missed fan-outs");
    // The other program has let go: what waited for its locks lands now.
    if (!State().connection.LandWaitingWork(std::chrono::milliseconds(3000)))
        world.failures.Report("work still waits after every lock was released");
    const TableCheck check = CheckTable(world);
    Print(world, options, elapsed, static_cast<int>(threads.size()) + 1, check);
    return world.failures.Count() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace vellum::load

int main(int argc, char** argv) {
    vellum::load::Options options;
    if (!vellum::load::Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: vellum_load [--seconds S] [--audio N] [--plugins N]\n");
        return 2;
    }
    try {
        return vellum::load::Run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vellum_load: %s\n", error.what());
        return 1;
    }
}
