// The load harness's world: a library in a fresh folder, generated media read
// by the stand-in audio library, the tracks each actor works on with the row
// any writer must store for them, and the ledger of completed plays.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "library/track_record.h"
#include "probe/probe_context.h"

namespace vellum::load {

struct Track {
    std::string utf8;
    std::u16string wide;
    // The row every writer stores for this path, play columns aside; null for a
    // path whose file does not exist (it must never get a row).
    RecordOwner reference;
    // The host's answer for the playing length, in whole seconds.
    std::int32_t length = 0;
    // Whether the row should exist now; kept by the one actor that owns the track.
    bool stored = false;
};

// The completed plays credited to one track, with the lastplayed value of each.
class PlayLedger {
public:
    void Credit(std::int32_t lastplayed);
    std::size_t Count() const;
    bool Holds(std::int32_t lastplayed) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::int32_t> times_;
};

struct Counters {
    std::atomic<long> playStarts{0}, credits{0}, addFiles{0}, removeFiles{0}, getRecords{0};
    std::atomic<long> batches{0}, batchItems{0}, listenerChanges{0}, fanOuts{0};
    std::atomic<long> readLocks{0}, writeLocks{0}, lockedMs{0};
    long Total() const;
};

// Every broken expectation, from any thread. The first few are printed.
class Failures {
public:
    void Report(const std::string& what);
    long Count() const { return count_.load(); }

private:
    std::mutex mutex_;
    std::atomic<long> count_{0};
};

class World {
public:
    // Creates the folder, the media and the library; binds the audio library
    // into State() and computes every reference row.
    explicit World(int pluginThreads);
    // Closes the library and removes the folder.
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    ProbeContext Context() const;
    // The first column of `row` that disagrees with `reference`, or "" when all
    // do. Play columns are compared only where the caller says so.
    static std::string Mismatch(const TrackRecord& row, const TrackRecord& reference, bool withPlays);

    // Credited by the audio threads; refreshed by everyone; removed by no one.
    std::vector<Track> played;
    std::vector<PlayLedger> ledgers;  // parallel to `played`
    // Added and removed by the batch thread alone.
    std::vector<Track> batched;
    // One set per plugin thread, touched by that thread alone.
    std::vector<std::vector<Track>> owned;

    int audioThreads = 0;
    Counters counters;
    Failures failures;
    std::atomic<bool> stop{false};
    std::atomic<std::int32_t> clock{1700000000};

private:
    void MakeTracks(int pluginThreads);
    Track MakeTrack(const std::string& name);
    std::string folder_;
    std::string previousFolder_;
    int mediaSeed_ = 0;
};

}  // namespace vellum::load
