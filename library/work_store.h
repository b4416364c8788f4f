// The store of waiting work: a small SQLite file of the plugin's own beside
// the library (vellumdb-pending.db beside vellumdb.db), holding every entry
// that could not land in the library at once, in the order it was done.
//
// Each entry carries the sequence number the connection gave it. An entry is
// written here, and committed, before its caller is told the work is done; it
// is deleted only after the library holds it (library/connection.h says how
// that is known). The file is opened in exclusive locking mode with a
// write-ahead log, so no other program takes its locks and an append costs no
// wait. A play credit's append waits for the disk; the others reach the
// system at once and the disk at the log's next checkpoint.
//
// Not thread-safe: the connection calls it under its mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library/statement.h"
#include "library/work_entry.h"

namespace vellum {

struct StoredEntry {
    std::int64_t sequence;
    // Null when the stored text is not one this version wrote: given up.
    std::unique_ptr<WorkEntry> entry;
};

class WorkStore {
public:
    // The store's file for the library at `libraryPath`: "x.db" gives "x-pending.db".
    static std::string PathFor(const std::string& libraryPath);

    // Opens or creates the store. False (and closed) when it cannot be had:
    // waiting work is then held in memory only.
    bool Open(const std::string& utf8Path);
    void Close() noexcept {
        database_.reset();
        syncFull_ = false;
    }
    bool IsOpen() const noexcept { return database_ != nullptr; }

    // Appends and commits one entry. SQLite's result code.
    int Append(std::int64_t sequence, const WorkEntry& entry);
    // Up to `limit` entries after `sequence`, in order (provisional ones not
    // included). SQLite's result code.
    int ReadAfter(std::int64_t sequence, std::size_t limit, std::vector<StoredEntry>& out);
    // The entries for `key` after `sequence`, then its provisional ones, in
    // order. SQLite's result code.
    int ReadForKey(const std::string& key, std::int64_t sequence, std::vector<StoredEntry>& out);
    // Deletes the entries up to and including `sequence`. SQLite's result code.
    int DeleteThrough(std::int64_t sequence);
    // Entries stored before the library's number was known carry numbers
    // below zero: -1, -2, ... in the order they were done. This gives them
    // `first`, `first` + 1, ... in that order, in one commit.
    int NumberProvisional(std::int64_t first);
    // The lowest provisional number stored (0 when none) and how many there are.
    int Provisional(std::int64_t& lowest, std::size_t& count);
    // How many entries lie after `sequence` or are provisional, into `out`.
    // SQLite's result code.
    int CountAfter(std::int64_t sequence, std::size_t& out);
    // The highest sequence stored (0 when none) into `out`. SQLite's result code.
    int LastSequence(std::int64_t& out);

private:
    int ReadEntries(Statement& query, std::vector<StoredEntry>& out);
    // Runs a one-parameter change; SQLite's result code.
    int Change(const char* sql, std::int64_t number);
    int SyncFor(EntryKind kind);

    DatabaseOwner database_;
    bool syncFull_ = false;
};

}  // namespace vellum
