#include "load_actors.h"

#include <sqlite3.h>

#include <chrono>
#include <random>
#include <thread>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "library/rows.h"
#include "maintenance/batch_worker.h"
#include "maintenance/pending_work.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "sim/bass/bass_api.h"

namespace vellum::load {
namespace {

const VellumLibraryInterface& kApi = kLibraryInterface;

bool IsUrl(const Track& track) { return track.utf8.find("://") != std::string::npos; }

// A record read back for `track`: present and equal to its reference row, play
// columns included unless the track is a played one.
void ExpectRow(World& world, const TrackRecord* record, const Track& track, bool withPlays, const char* by) {
    if (record == nullptr) {
        world.failures.Report(track.utf8 + ": no row after " + by);
        return;
    }
    const std::string differs = World::Mismatch(*record, *track.reference, withPlays);
    if (!differs.empty()) world.failures.Report(track.utf8 + ": column " + differs + " differs after " + by);
}

void ExpectNoRow(World& world, const TrackRecord* record, const Track& track, const char* by) {
    if (record != nullptr) world.failures.Report(track.utf8 + ": a row is left after " + by);
}

void PlayStart(World& world, const Track& track) {
    LibraryConnection& library = State().connection;
    const AudioHandle channel =
        IsUrl(track) ? SIMBASS_PlayUrl(track.wide.c_str(), 60.0) : SIMBASS_PlayFile(track.wide.c_str());
    if (channel == 0) world.failures.Report(track.utf8 + ": the stand-in cannot play it");
    RegisterFile(world.Context(), library, channel, track.wide, track.length);
    BASS_ChannelFree(channel);
    ++world.counters.playStarts;
}

void CompletePlay(World& world, std::size_t pick) {
    LibraryConnection& library = State().connection;
    const std::int32_t when = world.clock.fetch_add(1);
    const bool found = CreditCompletedPlay(library, world.played[pick].wide, when);
    if (found) world.ledgers[pick].Credit(when);
    else world.failures.Report(world.played[pick].utf8 + ": the end of a play found no row");
    ++world.counters.credits;
}

// A played row as another plugin reads it: its play count lies between the
// plays credited before the read and those credited or in flight after it.
void ReadPlayed(World& world, std::minstd_rand& random) {
    const std::size_t pick = random() % world.played.size();
    const Track& track = world.played[pick];
    const std::size_t before = world.ledgers[pick].Count();
    RecordOwner record(kApi.GetRecord(track.utf8.c_str()));
    const std::size_t after = world.ledgers[pick].Count() + world.audioThreads;
    ++world.counters.getRecords;
    ExpectRow(world, record.get(), track, false, "GetRecord");
    if (!record) return;
    const auto count = static_cast<std::size_t>(record->playcount);
    if (count < before || count > after)
        world.failures.Report(track.utf8 + ": GetRecord shows " + std::to_string(count) + " plays, ledger " +
                              std::to_string(before) + ".." + std::to_string(after));
}

// Counts what the dialog would be shown; hands the processor to others as the
// dialog's synchronous messages would.
class CountingSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t index) override {
        if (index != items) order = false;
        ++items;
        std::this_thread::yield();
        return true;
    }
    void Finished() override { ++finished; }
    std::size_t items = 0;
    int finished = 0;
    bool order = true;
};

void RunBatch(World& world, BatchMode mode, const BatchPathList& paths) {
    CountingSink sink;
    const ProbeContext probe = world.Context();
    const std::size_t done = RunBatch(BatchJob{mode, paths, State().connection, probe}, sink);
    if (done != paths.Size() || sink.items != done || sink.finished != 1 || !sink.order)
        world.failures.Report("a batch of " + std::to_string(paths.Size()) + " did " + std::to_string(done) +
                              ", reported " + std::to_string(sink.items) + " items and " +
                              std::to_string(sink.finished) + " ends");
    ++world.counters.batches;
    world.counters.batchItems += static_cast<long>(done);
}

std::atomic<long> g_permanentHeard{0};

intptr_t __stdcall Permanent(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {
    ++g_permanentHeard;
    return 0;
}

template <int N>
intptr_t __stdcall Churned(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return N;
}

const VellumListener kChurned[] = {Churned<0>, Churned<1>, Churned<2>, Churned<3>, nullptr};

}  // namespace

void RunAudio(World& world, unsigned seed) {
    std::minstd_rand random(seed);
    while (!world.stop) {
        const std::size_t pick = random() % world.played.size();
        PlayStart(world, world.played[pick]);
        if (random() % 4 != 0) CompletePlay(world, pick);  // else stopped before its end
    }
}

void RunPluginCalls(World& world, int index) {
    std::minstd_rand random(1000 + index);
    std::vector<Track>& own = world.owned[index];
    while (!world.stop) {
        Track& track = own[random() % own.size()];
        kApi.AddFile(track.utf8.c_str());
        ++world.counters.addFiles;
        ExpectRow(world, RecordOwner(kApi.GetRecord(track.utf8.c_str())).get(), track, true, "AddFile");
        ++world.counters.getRecords;
        track.stored = true;
        if (random() % 2 == 0) {
            kApi.RemoveFile(track.utf8.c_str());
            ++world.counters.removeFiles;
            ExpectNoRow(world, RecordOwner(kApi.GetRecord(track.utf8.c_str())).get(), track, "RemoveFile");
            ++world.counters.getRecords;
            track.stored = false;
        }
        ReadPlayed(world, random);
        if (random() % 8 == 0) {  // a refresh of a played track keeps its plays
            kApi.AddFile(world.played[random() % world.played.size()].utf8.c_str());
            ++world.counters.addFiles;
        }
    }
}

void RunBatches(World& world) {
    BatchPathList adds, removes;
    for (const Track& track : world.batched) {
        adds.Append(track.wide);
        removes.Append(track.wide);
    }
    for (std::size_t i = 0; i < world.played.size(); i += 3) adds.Append(world.played[i].wide);
    LibraryConnection& library = State().connection;
    do {
        RunBatch(world, BatchMode::Add, adds);
        for (const Track& track : world.batched) {
            RecordOwner record(ReadTrackRow(library, track.utf8.c_str()));
            track.reference ? ExpectRow(world, record.get(), track, true, "a batch add")
                            : ExpectNoRow(world, record.get(), track, "a batch add");
        }
        RunBatch(world, BatchMode::Remove, removes);
        for (const Track& track : world.batched)
            ExpectNoRow(world, RecordOwner(ReadTrackRow(library, track.utf8.c_str())).get(), track, "a batch remove");
    } while (!world.stop);
}

void RunForeignLocks(World& world) {
    std::minstd_rand random(11);
    sqlite3* other = nullptr;
    if (sqlite3_open(sqlite3_db_filename(State().connection.Handle(), "main"), &other) != SQLITE_OK)
        world.failures.Report("the other program cannot open the library");
    sqlite3_busy_timeout(other, 10000);
    while (!world.stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
        const bool write = random() % 2 == 0;
        sqlite3_stmt* reader = nullptr;
        if (write) sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        else if (sqlite3_prepare_v2(other, "SELECT file_name FROM list", -1, &reader, nullptr) == SQLITE_OK)
            sqlite3_step(reader);
        ++(write ? world.counters.writeLocks : world.counters.readLocks);
        const auto start = std::chrono::steady_clock::now();
        const auto hold = std::chrono::milliseconds(random() % 3000);
        while (!world.stop && std::chrono::steady_clock::now() - start < hold)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        world.counters.lockedMs += static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        sqlite3_finalize(reader);
        if (!sqlite3_get_autocommit(other) && sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            world.failures.Report("the other program could not commit");
    }
    sqlite3_close(other);
}

void RunListenerChurn(World& world) {
    std::minstd_rand random(7);
    constexpr std::size_t kKinds = sizeof kChurned / sizeof kChurned[0];
    while (!world.stop) {
        const VellumListener listener = kChurned[random() % kKinds];
        random() % 2 == 0 ? kApi.AddListener(listener) : kApi.RemoveListener(listener);
        ++world.counters.listenerChanges;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    for (VellumListener listener : kChurned) kApi.RemoveListener(listener);
}

void RunFanOut(World& world) {
    while (!world.stop) {
        NotifyListeners(nullptr, 49300, 1, 0);
        ++world.counters.fanOuts;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

void AttachPermanentListener() {
    g_permanentHeard = 0;
    kApi.AddListener(Permanent);
}

long DetachPermanentListener() {
    kApi.RemoveListener(Permanent);
    return g_permanentHeard.load();
}

}  // namespace vellum::load
