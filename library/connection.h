// The plugin's access to its library file, and its promise: work the plugin
// has acknowledged (a registration, a play credit, an AddFile or RemoveFile,
// a finished batch) is in the library exactly once, whatever is killed, full
// or rolled back meanwhile.
//
// THREE CONNECTIONS
//   shared   The handle other plugins get (GetDatabaseHandle). The plugin
//            writes nothing through it, so no statement, BEGIN, COMMIT or
//            ROLLBACK another plugin sends there touches the plugin's work.
//   writer   The plugin's private connection to the same file. Each of its
//            transactions is the plugin's own and begins with BEGIN IMMEDIATE,
//            so an entry's lookup and write run under the write lock: no other
//            connection or thread can come between them.
//   store    The store of waiting work (library/work_store.h), a file of its
//            own beside the library.
//
// EXACTLY ONCE
//   Every entry gets a sequence number, in the order the work was done. The
//   library file's header keeps, in PRAGMA user_version, the number of the
//   last entry that landed: each writer transaction that applies entries sets
//   it in the same transaction, so the library holds an entry if and only if
//   the number it holds is at least the entry's. An entry that cannot land at
//   once is appended to the store first, and so is durable before anyone is
//   told the work is done; a landing reads the number inside its own write
//   transaction and passes over what the library already holds. So a kill
//   between a commit and the store's clean-up, or a commit whose result was
//   lost, can never apply an entry twice, and nothing deletes an entry from
//   the store before the library holds it.
//
// STATES AND TRANSITIONS (of the writer, under mutex_)
//   Closed   No connection. Open() leaves it for Idle.
//   Idle     The writer has no transaction. Submit() applies a new entry in a
//            transaction of its own when nothing waits and no other plugin has
//            a transaction open on the shared handle; otherwise the entry is
//            queued. LandWaitingWork() leaves for Landing; BeginBatch() for
//            Batch; Close() for Closed.
//   Landing  A transaction holds entries taken from the queue, in order, and
//            the new number; its COMMIT met another program's reader.
//            TryCommit() retries it (holding SQLite's pending lock, so new
//            readers wait) for at most kBusyTimeout, then rolls it back: the
//            entries are still queued. Back to Idle either way.
//   Batch    A batch's transaction: BeginBatch() landed what was queued into
//            it; ApplyInBatch() adds the batch's items; EndBatch() commits it
//            (back to Idle) or rolls it back and says so, and the batch then
//            hands its items to Submit() one by one.
//   While the writer is in Landing or Batch, new entries are queued.
//
// THE QUEUE
//   Entries wait in the store, in sequence order. An entry the store cannot
//   take (a full disk, an I/O error) waits in memory behind them and moves to
//   the store as soon as it takes writes again; it also lands straight from
//   memory. Only entries still in memory when the plugin shuts down, with the
//   store unwritable all that time, are lost. Until the library's number has
//   been read (another program may hold the file exclusively from before the
//   start), entries are stored under provisional numbers below zero and get
//   their real numbers, in order, once it has.
//
// WAITS
//   Nothing waits for another program while holding mutex_: every attempt is
//   made without waiting (the writer has no busy handler), and a caller that
//   must wait (a read, a batch's commit, shut-down) sleeps between attempts
//   with mutex_ released. The helper thread retries waiting work every
//   kRetryInterval while anything waits, and ends when nothing does.
//
// LOCK ORDER
//   mutex_ is the one lock of this class. SQLite's own mutexes are taken
//   inside it; the shared handle's is only ever tried, never waited for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "library/statement.h"
#include "library/track_record.h"
#include "library/work_entry.h"
#include "library/work_store.h"

namespace vellum {

class LibraryConnection {
public:
    // The longest one read, one batch commit or one wait for the file's first
    // read at start-up waits for other programs.
    static constexpr std::chrono::milliseconds kBusyTimeout{1500};
    // How long Close tries to land what waits; the rest lands at the next start.
    static constexpr std::chrono::milliseconds kShutdownWait{3000};
    // How often the helper thread retries waiting work.
    static constexpr std::chrono::milliseconds kRetryInterval{100};

    enum class Outcome {
        Written,  // in the library now
        NoRow,    // ran, and found no row to change
        Waiting,  // queued: lands once the library can be written
        Refused,  // SQLite refused the statement itself, or no memory to hold it: nothing written
        Closed,   // the connection is closed: nothing written
    };

    LibraryConnection() = default;
    ~LibraryConnection();
    LibraryConnection(const LibraryConnection&) = delete;
    LibraryConnection& operator=(const LibraryConnection&) = delete;

    // Opens (or creates) the library at the UTF-8 path and its store, and
    // starts landing what the store kept from an earlier run. A file that is
    // not a database, or is damaged, is left exactly as it is and the
    // connection stays closed. True when open.
    bool Open(const std::string& utf8Path);
    // Lands what waits, trying for up to kShutdownWait, commits a transaction
    // another plugin left open on the shared handle, then closes. What still
    // waits stays in the store and lands at the next Open.
    void Close();

    // The shared handle for other plugins, or null when closed.
    sqlite3* Handle() noexcept;

    // Hands one unit of the plugin's work over. Never waits.
    Outcome Submit(std::unique_ptr<WorkEntry> entry);
    // The row of `key` as it will be once the waiting work has landed (a new
    // record, or null for no row). False when it could not be read whole
    // within kBusyTimeout.
    bool ReadRow(const std::string& key, RecordOwner& row);
    // Runs `read` on the writer under mutex_, again while it returns a code
    // that waiting cures (BUSY, LOCKED, ...), for up to kBusyTimeout, sleeping
    // between tries with mutex_ released. Its last code; SQLITE_MISUSE when
    // closed. `read` sees the plugin's work that is in the library, not what
    // waits.
    int ReadWith(const std::function<int(sqlite3*)>& read);

    // The batch's transaction. BeginBatch is false when the writer cannot
    // have the write lock at once (or is closed): the batch then submits its
    // items one by one. EndBatch is false when the transaction was rolled
    // back (a lost lock, a full disk): none of the items landed.
    bool BeginBatch();
    // Takes one item into the batch's transaction: applied there, or, when
    // it alone failed for a reason waiting cures, queued to land after the
    // batch. False when the transaction is gone (SQLite rolled it back on a
    // full disk or an I/O error): the entry is left with the caller, and the
    // items before it have to be submitted again.
    bool ApplyInBatch(std::unique_ptr<WorkEntry>& entry);
    bool EndBatch();

    // Lands what waits, trying for up to `wait`. True when nothing waits.
    bool LandWaitingWork(std::chrono::milliseconds wait);
    // For tests and figures: the entries waiting, in the store and in memory.
    std::size_t WaitingCount();

private:
    enum class Writer { Closed, Idle, Landing, Batch };
    using Clock = std::chrono::steady_clock;
    using Guard = std::unique_lock<std::mutex>;

    bool OpenFiles(const std::string& utf8Path);
    bool ReadNumberAtStart(Guard& guard);
    bool NumberKnown(std::int64_t landed);
    bool AnythingWaits() const noexcept;
    bool QueueTaken() const noexcept;
    bool SharedHandleInTransaction() const noexcept;
    bool DropStrayTransaction();
    bool BeginImmediate();
    ApplyResult ApplyAlone(WorkEntry& entry);
    Outcome Queue(std::unique_ptr<WorkEntry> entry);
    void MoveHeldToStore();
    void LandStep();
    bool BeginWithQueued();
    bool ApplyQueued();
    bool ApplyOne(const StoredEntry& queued);
    bool TryCommit();
    void Landed(std::int64_t number);
    void RollBack() noexcept;
    int Overlay(const std::string& key, RecordOwner& row);
    bool RetryUntil(Guard& guard, Clock::time_point deadline, const std::function<bool()>& attempt);
    void WakeHelper();
    static void HelperMain(void* self);
    void HelperLoop();
    void CloseFiles() noexcept;

    std::mutex mutex_;
    std::condition_variable changed_;
    DatabaseOwner shared_;
    DatabaseOwner writer_;
    WorkStore store_;
    Writer state_ = Writer::Closed;
    // The number of the last entry the library holds, as last read or written,
    // and whether it has been read since Open: until it is, new entries get
    // no number and wait in memory.
    std::int64_t landed_ = 0;
    bool numberKnown_ = false;
    // The table could not be made at Open (another program's lock).
    bool tableMissing_ = false;
    // The next number to give; the store holds numbers up to lastStored_.
    std::int64_t nextNumber_ = 1;
    std::int64_t lastStored_ = 0;
    // Entries stored before the number was known: the lowest provisional
    // number in the store (below zero), and how many (library/work_store.h).
    std::int64_t provisional_ = 0;
    std::size_t provisionalStored_ = 0;
    // Landing and Batch: the number the open transaction will commit, and how
    // many entries from memory it holds.
    std::int64_t applying_ = 0;
    std::size_t heldApplying_ = 0;
    Clock::time_point landingSince_;
    // Entries the store could not take, in order, after everything stored.
    std::deque<StoredEntry> held_;
    bool helperRunning_ = false;
    bool closing_ = false;
};

}  // namespace vellum
