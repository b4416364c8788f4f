#include "library/connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "library/schema.h"
#include "library/sqlite_settings.h"

namespace vellum {
namespace {

using Clock = std::chrono::steady_clock;

// The moment until which SQL on this thread may wait for other programs'
// locks; none outside the plugin's own operations (another plugin's calls on
// the raw handle), which wait kBusyTimeout per lock they meet.
thread_local bool t_hasDeadline = false;
thread_local Clock::time_point t_deadline;
thread_local Clock::time_point t_busySince;
// The plugin's scopes open on this thread, and the end of the wait the
// outermost one allows for everything inside it, its commit included.
thread_local int t_scopeDepth = 0;
thread_local Clock::time_point t_scopeDeadline;

// The latest moment an operation arriving at `arrived` may wait until.
Clock::time_point WaitLimit(Clock::time_point arrived) {
    const Clock::time_point own = arrived + LibraryConnection::kBusyTimeout;
    return t_scopeDepth > 0 ? std::min(own, t_scopeDeadline) : own;
}

// Sets this thread's deadline for a scope.
class Deadline {
public:
    explicit Deadline(Clock::time_point until) : saved_(t_hasDeadline), savedAt_(t_deadline) {
        t_hasDeadline = true;
        t_deadline = until;
    }
    ~Deadline() {
        t_hasDeadline = saved_;
        t_deadline = savedAt_;
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    bool saved_;
    Clock::time_point savedAt_;
};

// SQLite's busy handler: sleeps in short steps until this thread's deadline.
int WaitForLock(void*, int count) {
    const Clock::time_point now = Clock::now();
    if (count == 0) t_busySince = now;
    const Clock::time_point until = t_hasDeadline ? t_deadline : t_busySince + LibraryConnection::kBusyTimeout;
    if (now >= until) return 0;
    const auto step = std::chrono::milliseconds(count < 4 ? 1 << count : 20);
    std::this_thread::sleep_for(std::min<Clock::duration>(step, until - now));
    return 1;
}

bool IsBusy(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

LibraryConnection::Outcome OutcomeOf(ApplyResult result) {
    switch (result) {
        case ApplyResult::Changed: return LibraryConnection::Outcome::Changed;
        case ApplyResult::Unchanged: return LibraryConnection::Outcome::Unchanged;
        case ApplyResult::Failed: return LibraryConnection::Outcome::Failed;
        default: return LibraryConnection::Outcome::Pending;
    }
}

bool IsDamaged(int code) {
    int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// True when SQLite finds the file damaged anywhere: a page cut off or
// overwritten, as by a drive unplugged during a write. Reads every page once,
// about 0.1 s for a library of 100,000 tracks in the cache. A file that cannot
// be checked for another reason (another program's lock) is not called damaged.
bool FindsDamage(sqlite3* database) {
    Statement check(database, "PRAGMA quick_check(1)");
    if (check.Get() == nullptr) return IsDamaged(sqlite3_extended_errcode(database));
    const int rc = sqlite3_step(check.Get());
    if (rc != SQLITE_ROW) return IsDamaged(rc) || IsDamaged(sqlite3_extended_errcode(database));
    const unsigned char* verdict = sqlite3_column_text(check.Get(), 0);
    return verdict == nullptr || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0;
}

// A connection closed at scope end unless released.
struct CloseDatabase {
    void operator()(sqlite3* database) const noexcept { sqlite3_close(database); }
};
using DatabaseOwner = std::unique_ptr<sqlite3, CloseDatabase>;

// A write that changes nothing. Run right after BEGIN, it claims the write lock
// while the busy timeout can still wait for another program's: once a
// transaction has read, SQLite fails a write at once instead of waiting.
constexpr char kClaimWriteLockSql[] = "DELETE FROM list WHERE 0";

// The sequence number of the plugin's last applied entry, written inside the
// same transaction as the entry: a ROLLBACK undoes the mark with the work, so
// the mark read afterwards says which entries were lost. A temporary table
// lives in this connection alone and never touches the library file.
constexpr char kCreateMarkSql[] =
    "CREATE TEMP TABLE IF NOT EXISTS vellumdb_applied(sequence INTEGER);"
    "DELETE FROM temp.vellumdb_applied;"
    "INSERT INTO temp.vellumdb_applied VALUES(0)";

}  // namespace

LibraryConnection::~LibraryConnection() { Close(); }

bool LibraryConnection::Open(const std::string& utf8Path) {
    {
        std::lock_guard<std::mutex> helper(helperMutex_);
        helperStop_ = false;
    }
    platform::ScopedLock hold(lock_);
    if (database_ != nullptr) return true;
    ApplySqliteSettings();
    // Open the existing file or create it; never truncate or replace it. A
    // failed open still hands out a handle, closed with the owner.
    sqlite3* opened = nullptr;
    const int opening = sqlite3_open_v2(utf8Path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DatabaseOwner database(opened);
    if (opening != SQLITE_OK) return false;
    sqlite3_busy_handler(database.get(), WaitForLock, nullptr);
    if (FindsDamage(database.get())) return false;
    const int rc = sqlite3_exec(database.get(), kCreateTableSql, nullptr, nullptr, nullptr);
    // Not a database, or a damaged one: leave the file alone and run without it.
    if (IsDamaged(rc) || IsDamaged(sqlite3_extended_errcode(database.get()))) return false;
    markReady_ = sqlite3_exec(database.get(), kCreateMarkSql, nullptr, nullptr, nullptr) == SQLITE_OK;
    database_ = database.release();
    sequence_ = 0;
    scopes_ = 0;
    owned_ = writeLocked_ = false;
    return true;
}

void LibraryConnection::Close() {
    StopHelper();
    platform::ScopedLock hold(lock_);
    if (database_ == nullptr) return;
    {
        const Deadline wait(Clock::now() + kShutdownWait);
        DrainWithoutThrowing();  // what still waits then is lost with the connection
        // Scopes still open (a batch cut short by shut-down) and a transaction
        // another plugin left open are committed too.
        if (!sqlite3_get_autocommit(database_)) sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(database_);
    database_ = nullptr;
    journal_.Clear();
}

sqlite3* LibraryConnection::Handle() const noexcept {
    platform::ScopedLock hold(lock_);
    return database_;
}

int LibraryConnection::Exec(const char* sql) {
    platform::ScopedLock hold(lock_);
    if (database_ == nullptr) return -1;
    return sqlite3_exec(database_, sql, nullptr, nullptr, nullptr);
}

LibraryConnection::Outcome LibraryConnection::Submit(std::unique_ptr<JournalEntry> entry, bool mayWaitForRoom) {
    const Clock::time_point arrived = Clock::now();
    for (;;) {
        bool outstanding = false;
        Outcome outcome = Outcome::Pending;
        {
            platform::ScopedLock hold(lock_);
            if (database_ == nullptr) return Outcome::Closed;
            Settle();
            if (!mayWaitForRoom || journal_.HasRoom()) {
                // Work already waiting means a lock is held: join the queue, do not wait.
                const Deadline wait(HasOutstanding() ? Clock::now() : WaitLimit(arrived));
                const JournalEntry* carrier = journal_.Add(std::move(entry));
                Drain(carrier, &outcome);
                outstanding = HasOutstanding();
            } else {
                const Deadline none(Clock::now());
                Drain(nullptr, nullptr);
            }
        }
        if (entry == nullptr) {
            WakeHelper(outstanding);
            return outcome;
        }
        WakeHelper(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void LibraryConnection::OverlayPending(const std::string& key, RecordOwner& row) const {
    platform::ScopedLock hold(lock_);
    journal_.Overlay(key, row);
}

bool LibraryConnection::Flush(std::chrono::milliseconds wait) {
    platform::ScopedLock hold(lock_);
    if (database_ == nullptr) return true;
    const Deadline until(Clock::now() + wait);
    Drain(nullptr, nullptr);
    return !HasOutstanding() && journal_.PendingEmpty();
}

std::size_t LibraryConnection::PendingCount() const {
    platform::ScopedLock hold(lock_);
    return journal_.PendingCount();
}

bool LibraryConnection::CommitPending() const {
    platform::ScopedLock hold(lock_);
    return database_ != nullptr && scopes_ == 0 && owned_ && !sqlite3_get_autocommit(database_);
}

bool LibraryConnection::OpenScope() {
    if (t_scopeDepth++ == 0) t_scopeDeadline = Clock::now() + kBusyTimeout;
    platform::ScopedLock hold(lock_);
    const bool contended = database_ != nullptr && HasOutstanding();
    ++scopes_;
    return contended;
}

void LibraryConnection::CloseScope(bool contended) {
    const Clock::time_point started = Clock::now();
    const Clock::time_point limit = WaitLimit(started);
    if (t_scopeDepth > 0) --t_scopeDepth;
    bool outstanding = false;
    {
        platform::ScopedLock hold(lock_);
        if (scopes_ > 0) --scopes_;
        if (database_ == nullptr) return;
        const Deadline wait(contended || !journal_.PendingEmpty() ? started : limit);
        DrainWithoutThrowing();  // a scope ends in a destructor
        outstanding = HasOutstanding();
    }
    WakeHelper(outstanding);
}

// Applies waiting entries in order while the write lock can be had, then
// commits when no scope is open. Under the lock.
//
// Memory running out is met like a lock: the entry waits and is tried again
// (by the helper thread or the next operation); it is neither given up nor
// applied twice. Throws only when the heap fails while entries undone by a
// ROLLBACK are put back; the journal is then as it was and the next Drain
// does it again.
void LibraryConnection::Drain(const JournalEntry* target, Outcome* targetOutcome) {
    if (database_ == nullptr) return;
    if (!Settle()) return;
    while (!journal_.PendingEmpty() && EnsureWriteTransaction()) {
        JournalEntry& next = journal_.Front();
        ApplyResult result = ApplyResult::Busy;
        try {
            result = next.Apply(*this);
        } catch (...) {
            // Out of memory before the entry wrote anything: it waits.
        }
        if (result == ApplyResult::Busy) break;
        if (&next == target && targetOutcome != nullptr) *targetOutcome = OutcomeOf(result);
        if (result == ApplyResult::Failed) {
            journal_.DropFront();
            continue;
        }
        if (!WriteMark(sequence_ + 1)) {
            // The mark's failure (out of memory) may have rolled the whole
            // transaction back, this entry with it: then it waits, and the
            // next Settle puts back the earlier ones that were undone.
            if (sqlite3_get_autocommit(database_)) {
                if (&next == target && targetOutcome != nullptr) *targetOutcome = Outcome::Pending;
                break;
            }
            journal_.DropFront();
            continue;
        }
        journal_.FrontApplied(++sequence_);
    }
    if (scopes_ == 0) CommitIfOwned();
}

// Drain for the callers that cannot take an exception: shut-down, a scope's
// end in a destructor, the helper thread. Out of memory leaves the work
// waiting for the helper or the next operation.
void LibraryConnection::DrainWithoutThrowing() noexcept {
    try {
        Drain(nullptr, nullptr);
    } catch (...) {
    }
}

// Takes note of a transaction that ended or was rolled back behind the
// plugin's back: entries a ROLLBACK undid wait again; those a COMMIT kept are
// confirmed. False when memory ran out while the mark was read: what was
// undone is not known yet, so nothing may be applied or confirmed until a
// later call reads it. (A mark that is gone, dropped by another plugin, is
// passed over as before: the work goes on without it.)
bool LibraryConnection::Settle() {
    const bool ended = sqlite3_get_autocommit(database_) != 0;
    std::int64_t mark = 0;
    if (!journal_.AppliedEmpty()) {
        if (ReadMark(mark)) journal_.Requeue(mark);
        else if (markReady_ && (sqlite3_errcode(database_) & 0xFF) == SQLITE_NOMEM) return false;
    }
    if (!ended) return true;
    journal_.Confirm();
    owned_ = writeLocked_ = false;
    return true;
}

bool LibraryConnection::EnsureWriteTransaction() {
    if (sqlite3_get_autocommit(database_)) {
        if (sqlite3_exec(database_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
        owned_ = true;
        writeLocked_ = false;
    }
    if (writeLocked_) return true;
    const int rc = sqlite3_exec(database_, kClaimWriteLockSql, nullptr, nullptr, nullptr);
    if (!IsBusy(rc)) {
        // Claimed, or refused for a reason waiting will not cure (no such
        // table): the entries then fail one by one and are given up.
        writeLocked_ = rc == SQLITE_OK;
        return true;
    }
    // An empty transaction of the plugin's own holds another program's read
    // lock: end it, so that program's COMMIT is not kept waiting on us.
    if (owned_ && journal_.AppliedEmpty()) {
        sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
        owned_ = false;
    }
    return false;
}

void LibraryConnection::CommitIfOwned() {
    if (!owned_ || sqlite3_get_autocommit(database_)) return;
    // A COMMIT that meets a reader fails with the transaction still open; it
    // is tried again by the next operation or the helper thread.
    sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
    Settle();
}

bool LibraryConnection::ReadMark(std::int64_t& mark) {
    if (!markReady_) return false;
    Statement read(database_, "SELECT sequence FROM temp.vellumdb_applied");
    if (read.Get() == nullptr || sqlite3_step(read.Get()) != SQLITE_ROW) return false;
    mark = sqlite3_column_int64(read.Get(), 0);
    return true;
}

// Builds its statement without the heap: it runs after the entry has written,
// where an exception would leave the entry to be applied again.
bool LibraryConnection::WriteMark(std::int64_t mark) {
    if (!markReady_) return false;
    static constexpr char kPrefix[] = "UPDATE temp.vellumdb_applied SET sequence = ";
    char sql[sizeof kPrefix + 24] = {};
    std::memcpy(sql, kPrefix, sizeof kPrefix - 1);
    std::to_chars(sql + sizeof kPrefix - 1, sql + sizeof sql - 1, mark);
    return sqlite3_exec(database_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Work waits for a lock: entries not applied, or a commit no scope will send,
// or applied work inside another plugin's open transaction.
bool LibraryConnection::HasOutstanding() const {
    if (!journal_.PendingEmpty()) return true;
    if (scopes_ > 0) return false;
    return !journal_.AppliedEmpty() || (owned_ && !sqlite3_get_autocommit(database_));
}

void LibraryConnection::WakeHelper(bool outstanding) {
    if (!outstanding) return;
    std::thread finished;
    {
        std::lock_guard<std::mutex> hold(helperMutex_);
        if (helperActive_ || helperStop_) return;
        finished = std::move(helper_);
        try {
            helper_ = std::thread(&LibraryConnection::HelperLoop, this);
            helperActive_ = true;
        } catch (...) {
            // No thread: the next library operation retries instead.
        }
    }
    if (finished.joinable()) finished.join();
}

// Retries waiting work without waiting for locks, until nothing waits. Ends
// itself; the lock order is helperMutex_, then lock_.
void LibraryConnection::HelperLoop() {
    std::unique_lock<std::mutex> hold(helperMutex_);
    for (;;) {
        helperWake_.wait_for(hold, kRetryInterval, [this] { return helperStop_; });
        if (!helperStop_) {
            platform::ScopedLock library(lock_);
            const Deadline none(Clock::now());
            DrainWithoutThrowing();
            if (database_ != nullptr && HasOutstanding()) continue;
        }
        helperActive_ = false;
        return;
    }
}

void LibraryConnection::StopHelper() {
    std::thread helper;
    {
        std::lock_guard<std::mutex> hold(helperMutex_);
        helperStop_ = true;
        helper = std::move(helper_);
    }
    helperWake_.notify_all();
    if (helper.joinable()) helper.join();
}

Transaction::Transaction(LibraryConnection& connection) : connection_(connection), contended_(connection.OpenScope()) {}

Transaction::~Transaction() { connection_.CloseScope(contended_); }

Statement::Statement(sqlite3* database, const char* sql) noexcept {
    if (database != nullptr) sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(statement_); }

}  // namespace vellum
