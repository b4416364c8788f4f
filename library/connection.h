// The plugin's one access point to its SQLite connection.
//
// Every thread that touches the library (the host's window thread, the batch
// worker, the audio library's sync thread, other plugins' threads) goes through
// a LibraryConnection. One recursive lock guards each operation, so a lookup
// and the write that follows it form one unit. The lock is held only while SQL
// runs, never while waiting on another thread.
//
// The plugin's writes are never rolled back or dropped for a lock:
//   - each write is a journal entry (library/work_journal.h), applied in the
//     order the writes happened; one that meets another program's write lock
//     waits in the journal and is applied later;
//   - a COMMIT that cannot be had (another program reading) leaves the
//     transaction open, and it is tried again;
//   - a helper thread retries every 100 ms while anything waits, so waiting
//     work lands within that time of the lock's release, and the next library
//     operation applies it too; Close waits up to 3 s for it;
//   - a ROLLBACK sent by another plugin on the raw handle is noticed through a
//     mark kept in a temporary table inside the same transaction, and the
//     entries it undid are applied again;
//   - memory running out while an entry is applied is met like a lock: the
//     entry waits and is tried again, never given up nor applied twice.
//
// Transactions are counted scopes: the plugin's Transaction objects on every
// thread share one SQL transaction, and the last scope to end commits it. A
// scope that finds no transaction open (someone else committed) opens one
// again at its next write. A transaction another plugin opened on the raw
// handle is joined and left to that plugin to end.
//
// One operation waits at most kBusyTimeout for other programs in all: for the
// write lock, then for its commit; inside a Transaction the budget runs from
// the opening of the thread's outermost scope and covers its commit. An
// operation that arrives while work is already waiting does not wait at all;
// its work joins the queue.
//
// After Close the connection is null and every operation is skipped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "library/work_journal.h"
#include "platform/seam.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vellum {

class LibraryConnection {
public:
    // How long one operation waits for other programs' locks, in all.
    static constexpr std::chrono::milliseconds kBusyTimeout{1500};
    // How long Close waits for work that still waits for a lock.
    static constexpr std::chrono::milliseconds kShutdownWait{3000};
    // How often the helper thread retries waiting work.
    static constexpr std::chrono::milliseconds kRetryInterval{100};

    enum class Outcome { Changed, Unchanged, Pending, Failed, Closed };

    LibraryConnection() = default;
    ~LibraryConnection();
    LibraryConnection(const LibraryConnection&) = delete;
    LibraryConnection& operator=(const LibraryConnection&) = delete;

    // Opens (or creates) the database at the UTF-8 path and runs the schema
    // statement. A file that is not a database, or is damaged, is left exactly
    // as it is and the connection stays closed. Returns true when open.
    bool Open(const std::string& utf8Path);
    // Applies and commits what waits, waiting up to kShutdownWait for other
    // programs' locks, commits any open transaction, then closes and clears
    // the connection; later operations are skipped. Work that still cannot be
    // written then is lost with the connection.
    void Close();

    // The raw connection, or null when closed.
    sqlite3* Handle() const noexcept;
    // The lock that guards every read-modify-write on the connection.
    platform::RecursiveLock& Lock() noexcept { return lock_; }

    // Runs one complete statement text under the lock. Returns SQLite's result
    // code, or -1 when the connection is closed.
    int Exec(const char* sql);

    // Hands one unit of the plugin's work to the journal and applies what
    // waits, this entry last. Outside every Transaction it is committed at
    // once. `mayWaitForRoom`: with WorkJournal::kPendingLimit entries waiting
    // the caller sleeps (without the lock) until there is room; otherwise the
    // entry is merged or queued beyond the limit. Changed or Unchanged when
    // applied now, Pending when it waits, Failed when SQLite refused it.
    Outcome Submit(std::unique_ptr<JournalEntry> entry, bool mayWaitForRoom);
    // Applies to a row read for `key` what still waits for it, so that a
    // reader sees the plugin's work as done. Call under the lock.
    void OverlayPending(const std::string& key, RecordOwner& row) const;
    // Applies and commits what waits, waiting up to `wait` for locks. True
    // when nothing is left waiting (committed, or inside an open scope).
    bool Flush(std::chrono::milliseconds wait);

    // For tests and figures: entries waiting, and whether a commit waits.
    std::size_t PendingCount() const;
    bool CommitPending() const;

private:
    friend class Transaction;
    using Clock = std::chrono::steady_clock;

    bool OpenScope();
    void CloseScope(bool contended);
    void Drain(const JournalEntry* target, Outcome* targetOutcome);
    void DrainWithoutThrowing() noexcept;
    bool Settle();
    bool EnsureWriteTransaction();
    void CommitIfOwned();
    bool ReadMark(std::int64_t& mark);
    bool WriteMark(std::int64_t mark);
    bool HasOutstanding() const;
    void WakeHelper(bool outstanding);
    void HelperLoop();
    void StopHelper();

    mutable platform::RecursiveLock lock_;
    sqlite3* database_ = nullptr;
    WorkJournal journal_;
    int scopes_ = 0;
    // The open SQL transaction was begun by the plugin (not by another plugin).
    bool owned_ = false;
    // The open transaction holds the write lock.
    bool writeLocked_ = false;
    // The temporary mark table exists; without it a foreign ROLLBACK goes unseen.
    bool markReady_ = false;
    std::int64_t sequence_ = 0;

    std::mutex helperMutex_;
    std::condition_variable helperWake_;
    std::thread helper_;
    bool helperActive_ = false;
    bool helperStop_ = false;
};

// One counted scope of the plugin's work. Writes inside it join the one SQL
// transaction; the last scope to end, on any thread, commits it.
class Transaction {
public:
    explicit Transaction(LibraryConnection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    LibraryConnection& connection_;
    // Work was already waiting when the scope opened: its end does not wait.
    bool contended_;
};

// A compiled statement, finalized at scope end.
class Statement {
public:
    Statement(sqlite3* database, const char* sql) noexcept;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* Get() const noexcept { return statement_; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace vellum
