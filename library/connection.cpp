#include "library/connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <thread>

#include "library/rows.h"
#include "library/schema.h"
#include "library/sqlite_settings.h"
#include "platform/seam.h"

namespace vellum {
namespace {

using Clock = std::chrono::steady_clock;

// How long a caller that must wait sleeps between two attempts.
constexpr std::chrono::milliseconds kPollStep{10};
// The most queued entries one landing transaction takes: it bounds the time
// mutex_ is held at once and the entries held in memory.
constexpr std::size_t kLandingStep = 512;

int Exec(sqlite3* database, const char* sql) { return sqlite3_exec(database, sql, nullptr, nullptr, nullptr); }

bool IsTransient(int code) { return ResultOfCode(code) == ApplyResult::Transient; }

bool IsDamaged(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// True when SQLite finds the file damaged anywhere: a page cut off or
// overwritten, as by a drive unplugged during a write. A file that cannot be
// checked for another reason (another program's lock) is not called damaged.
bool FindsDamage(sqlite3* database) {
    Statement check(database, "PRAGMA quick_check(1)");
    if (check.Get() == nullptr) return IsDamaged(sqlite3_extended_errcode(database));
    const int rc = sqlite3_step(check.Get());
    if (rc != SQLITE_ROW) return IsDamaged(rc) || IsDamaged(sqlite3_extended_errcode(database));
    const unsigned char* verdict = sqlite3_column_text(check.Get(), 0);
    return verdict == nullptr || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0;
}

// The shared handle's busy handler. Other plugins' statements wait up to
// kBusyTimeout for each lock they meet; at shut-down the plugin's own COMMIT
// waits until the moment `until` points at.
int WaitForLock(void* until, int count) {
    thread_local Clock::time_point waitingSince;
    const Clock::time_point now = Clock::now();
    if (count == 0) waitingSince = now;
    const Clock::time_point limit = until != nullptr ? *static_cast<const Clock::time_point*>(until)
                                                     : waitingSince + LibraryConnection::kBusyTimeout;
    if (now >= limit) return 0;
    const auto step = std::chrono::milliseconds(count < 4 ? 1 << count : 20);
    std::this_thread::sleep_for(std::min<Clock::duration>(step, limit - now));
    return 1;
}

// The number of the last entry the library holds, from its file header.
int ReadLandedNumber(sqlite3* writer, std::int64_t& out) {
    Statement read(writer, "PRAGMA user_version");
    if (read.Get() == nullptr) return sqlite3_errcode(writer);
    const int rc = sqlite3_step(read.Get());
    if (rc != SQLITE_ROW) return rc;
    out = std::max<std::int64_t>(0, sqlite3_column_int64(read.Get(), 0));
    return SQLITE_OK;
}

// Built without the heap: it runs after entries have written, where an
// exception would leave them to be applied again.
int WriteLandedNumber(sqlite3* writer, std::int64_t number) {
    static constexpr char kPrefix[] = "PRAGMA user_version = ";
    char sql[sizeof kPrefix + 24] = {};
    std::memcpy(sql, kPrefix, sizeof kPrefix - 1);
    std::to_chars(sql + sizeof kPrefix - 1, sql + sizeof sql - 1, number);
    return Exec(writer, sql);
}

// Opens an existing file or creates it; never truncates or replaces it.
DatabaseOwner OpenFile(const std::string& utf8Path, int flags) {
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &opened, flags, nullptr);
    DatabaseOwner database(opened);
    if (rc != SQLITE_OK) database.reset();
    return database;
}

}  // namespace

LibraryConnection::~LibraryConnection() { Close(); }

bool LibraryConnection::Open(const std::string& utf8Path) {
    Guard guard(mutex_);
    if (state_ != Writer::Closed) return true;
    ApplySqliteSettings();
    if (!OpenFiles(utf8Path)) {
        CloseFiles();
        return false;
    }
    state_ = Writer::Idle;
    closing_ = false;
    if (ReadNumberAtStart(guard) && store_.IsOpen()) store_.DeleteThrough(landed_);
    LandStep();
    WakeHelper();
    return true;
}

bool LibraryConnection::OpenFiles(const std::string& utf8Path) {
    writer_ = OpenFile(utf8Path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (writer_ == nullptr || FindsDamage(writer_.get())) return false;
    const int rc = Exec(writer_.get(), kCreateTableSql);
    // Not a database, or a damaged one: leave the file alone and run without it.
    if (IsDamaged(rc) || IsDamaged(sqlite3_extended_errcode(writer_.get()))) return false;
    // Another program's lock on a new file: the table is made by the first
    // transaction that has the write lock.
    tableMissing_ = IsTransient(rc);
    shared_ = OpenFile(utf8Path, SQLITE_OPEN_READWRITE);
    if (shared_ == nullptr) return false;
    sqlite3_busy_handler(shared_.get(), WaitForLock, nullptr);
    // Without its store the plugin still works; waiting work is then held in memory.
    if (store_.Open(WorkStore::PathFor(utf8Path)) &&
        (store_.LastSequence(lastStored_) != SQLITE_OK ||
         store_.Provisional(provisional_, provisionalStored_) != SQLITE_OK))
        store_.Close();
    return true;
}

// Learns which entries the library holds. Another program's exclusive lock
// can hide it for a while; until it is known, new work waits in memory.
bool LibraryConnection::ReadNumberAtStart(Guard& guard) {
    std::int64_t landed = 0;
    int rc = SQLITE_OK;
    RetryUntil(guard, Clock::now() + kBusyTimeout, [&] {
        rc = state_ == Writer::Idle ? ReadLandedNumber(writer_.get(), landed) : SQLITE_MISUSE;
        return !IsTransient(rc);
    });
    return rc == SQLITE_OK && NumberKnown(landed);
}

// Numbers what waited without one: first what the store holds under
// provisional numbers, then what memory holds, in the order it was done.
bool LibraryConnection::NumberKnown(std::int64_t landed) {
    landed_ = landed;
    nextNumber_ = std::max({nextNumber_, landed + 1, lastStored_ + 1});
    if (provisionalStored_ > 0) {
        if (store_.NumberProvisional(nextNumber_) != SQLITE_OK) return false;
        nextNumber_ += static_cast<std::int64_t>(provisionalStored_);
        lastStored_ = nextNumber_ - 1;
        provisionalStored_ = 0;
        provisional_ = 0;
    }
    numberKnown_ = true;
    for (StoredEntry& held : held_)
        if (held.sequence == 0) held.sequence = nextNumber_++;
    return true;
}

void LibraryConnection::Close() {
    Guard guard(mutex_);
    if (state_ == Writer::Closed) return;
    closing_ = true;
    changed_.notify_all();
    changed_.wait(guard, [this] { return !helperRunning_; });
    Clock::time_point deadline = Clock::now() + kShutdownWait;
    if (state_ == Writer::Batch) landingSince_ = Clock::now();
    RetryUntil(guard, deadline, [this] {
        if (state_ == Writer::Batch) TryCommit();
        else LandStep();
        return state_ == Writer::Idle && !AnythingWaits();
    });
    RollBack();
    MoveHeldToStore();
    // A transaction another plugin left open is committed, as the header promises.
    sqlite3_busy_handler(shared_.get(), WaitForLock, &deadline);
    if (!sqlite3_get_autocommit(shared_.get())) Exec(shared_.get(), "COMMIT");
    // `deadline` ends with this call; a statement another plugin still holds
    // keeps the handle alive a little longer.
    sqlite3_busy_handler(shared_.get(), WaitForLock, nullptr);
    CloseFiles();
}

void LibraryConnection::CloseFiles() noexcept {
    store_.Close();
    writer_.reset();
    shared_.reset();
    held_.clear();
    state_ = Writer::Closed;
    numberKnown_ = tableMissing_ = false;
    landed_ = lastStored_ = applying_ = provisional_ = 0;
    provisionalStored_ = 0;
    nextNumber_ = 1;
    closing_ = false;
}

sqlite3* LibraryConnection::Handle() noexcept {
    const Guard guard(mutex_);
    return shared_.get();
}

LibraryConnection::Outcome LibraryConnection::Submit(std::unique_ptr<WorkEntry> entry) {
    if (entry == nullptr) return Outcome::Refused;
    const Guard guard(mutex_);
    if (state_ == Writer::Closed) return Outcome::Closed;
    if (state_ == Writer::Idle && numberKnown_ && !AnythingWaits() && !SharedHandleInTransaction()) {
        switch (ApplyAlone(*entry)) {
            case ApplyResult::Written: return Outcome::Written;
            case ApplyResult::NoRow: return Outcome::NoRow;
            case ApplyResult::Refused: return Outcome::Refused;
            case ApplyResult::Transient: break;
        }
    }
    const Outcome outcome = Queue(std::move(entry));
    WakeHelper();
    return outcome;
}

// One entry in a transaction of its own, committed with its number. When the
// outcome is Transient the number is not used up: the entry is queued under
// it, so if the COMMIT did land after all the landing passes it over.
ApplyResult LibraryConnection::ApplyAlone(WorkEntry& entry) {
    sqlite3* writer = writer_.get();
    if (!BeginImmediate()) return ApplyResult::Transient;
    const std::int64_t number = nextNumber_;
    ApplyResult result = ApplyResult::Transient;
    try {
        result = entry.Apply(writer);
    } catch (...) {
        // Out of memory before anything was written: the entry is queued.
    }
    if (result != ApplyResult::Transient && result != ApplyResult::Refused &&
        WriteLandedNumber(writer, number) != SQLITE_OK)
        result = ApplyResult::Transient;
    if (result == ApplyResult::Transient || result == ApplyResult::Refused) {
        RollBack();
        return result;
    }
    if (Exec(writer, "COMMIT") != SQLITE_OK) {
        RollBack();
        std::int64_t landed = 0;
        if (ReadLandedNumber(writer, landed) != SQLITE_OK || landed < number) return ApplyResult::Transient;
    }
    landed_ = applying_ = number;
    nextNumber_ = number + 1;
    return result;
}

// In Idle the writer has no transaction. One left over because a ROLLBACK
// itself failed (no memory) holds nothing that is not still queued: it is
// rolled back before anything else runs on the writer. False if it stays.
bool LibraryConnection::DropStrayTransaction() {
    sqlite3* writer = writer_.get();
    return sqlite3_get_autocommit(writer) || Exec(writer, "ROLLBACK") == SQLITE_OK;
}

// Opens a writer transaction that holds the write lock, without waiting.
bool LibraryConnection::BeginImmediate() {
    if (!DropStrayTransaction() || Exec(writer_.get(), "BEGIN IMMEDIATE") != SQLITE_OK) return false;
    if (tableMissing_ && !IsTransient(Exec(writer_.get(), kCreateTableSql))) tableMissing_ = false;
    return true;
}

// Queues the entry behind everything that waits: into memory first, then on
// to the store, which takes the entries from memory in order.
LibraryConnection::Outcome LibraryConnection::Queue(std::unique_ptr<WorkEntry> entry) {
    try {
        held_.push_back(StoredEntry{numberKnown_ ? nextNumber_++ : 0, std::move(entry)});
    } catch (...) {
        return Outcome::Refused;  // no memory even to hold it: nothing was written
    }
    MoveHeldToStore();
    return Outcome::Waiting;
}

// An entry whose append failed may still have reached the store's file; it
// keeps its number, so it lands once whichever copy lands first. Until the
// library's number is known, entries go in under provisional numbers.
void LibraryConnection::MoveHeldToStore() {
    if (!store_.IsOpen() || heldApplying_ > 0) return;
    while (!held_.empty()) {
        StoredEntry& front = held_.front();
        const bool provisional = front.sequence == 0;
        const std::int64_t number = provisional ? provisional_ - 1 : front.sequence;
        try {
            if (front.entry != nullptr && store_.Append(number, *front.entry) != SQLITE_OK) return;
        } catch (...) {
            return;
        }
        if (provisional) {
            provisional_ = number;
            ++provisionalStored_;
        } else {
            lastStored_ = std::max(lastStored_, number);
        }
        held_.pop_front();
    }
}

bool LibraryConnection::AnythingWaits() const noexcept {
    return !held_.empty() || lastStored_ > landed_ || provisionalStored_ > 0;
}

// Whether another plugin has a transaction open on the shared handle. Its
// mutex is only tried: a handle busy this moment counts as in a transaction.
bool LibraryConnection::SharedHandleInTransaction() const noexcept {
    sqlite3* shared = shared_.get();
    sqlite3_mutex* mutex = sqlite3_db_mutex(shared);
    if (mutex == nullptr) return !sqlite3_get_autocommit(shared);
    if (sqlite3_mutex_try(mutex) != SQLITE_OK) return true;
    const bool open = !sqlite3_get_autocommit(shared);
    sqlite3_mutex_leave(mutex);
    return open;
}

// Idle: takes queued entries into a transaction (Landing) and tries to commit
// it. Landing: tries the COMMIT again. Never waits.
void LibraryConnection::LandStep() {
    if (state_ == Writer::Landing) {
        TryCommit();
        return;
    }
    if (state_ != Writer::Idle) return;
    MoveHeldToStore();
    if (!AnythingWaits() || SharedHandleInTransaction()) return;
    if (!BeginWithQueued()) return;
    state_ = Writer::Landing;
    landingSince_ = Clock::now();
    TryCommit();
}

// BEGIN IMMEDIATE, then the queued entries the library does not hold yet,
// then their number. False, with no transaction left, when any step failed.
bool LibraryConnection::BeginWithQueued() {
    sqlite3* writer = writer_.get();
    if (!BeginImmediate()) return false;
    std::int64_t landed = 0;
    bool applied = ReadLandedNumber(writer, landed) == SQLITE_OK && NumberKnown(landed);
    if (applied) applied = ApplyQueued() && WriteLandedNumber(writer, applying_) == SQLITE_OK;
    if (!applied) RollBack();
    return applied;
}

// Applies up to kLandingStep queued entries in order: those in the store,
// then those in memory. Entries the library already holds are passed over.
bool LibraryConnection::ApplyQueued() {
    applying_ = landed_;
    heldApplying_ = 0;
    std::vector<StoredEntry> stored;
    if (store_.IsOpen() && lastStored_ > landed_ && store_.ReadAfter(landed_, kLandingStep, stored) != SQLITE_OK)
        return false;
    for (const StoredEntry& entry : stored)
        if (!ApplyOne(entry)) return false;
    if (stored.size() == kLandingStep) return true;
    for (const StoredEntry& entry : held_) {
        if (heldApplying_ == kLandingStep || !ApplyOne(entry)) return heldApplying_ == kLandingStep;
        ++heldApplying_;
    }
    return true;
}

bool LibraryConnection::ApplyOne(const StoredEntry& queued) {
    if (queued.sequence <= applying_) return true;
    if (queued.entry != nullptr) {
        try {
            if (queued.entry->Apply(writer_.get()) == ApplyResult::Transient) return false;
        } catch (...) {
            return false;
        }
    }
    applying_ = queued.sequence;
    return true;
}

// Commits the open Landing or Batch transaction. On another program's reader
// it stays open, for up to kBusyTimeout from landingSince_; any other failure
// leaves it rolled back, its entries still queued. True when committed.
bool LibraryConnection::TryCommit() {
    sqlite3* writer = writer_.get();
    const int rc = Exec(writer, "COMMIT");
    if (rc == SQLITE_OK) {
        Landed(applying_);
        return true;
    }
    const bool open = !sqlite3_get_autocommit(writer);
    if (open && (rc & 0xFF) == SQLITE_BUSY && Clock::now() - landingSince_ < kBusyTimeout) return false;
    RollBack();
    return false;
}

// The library holds every entry up to `number`: they leave memory and the store.
void LibraryConnection::Landed(std::int64_t number) {
    state_ = Writer::Idle;
    landed_ = applying_ = number;
    heldApplying_ = 0;
    while (!held_.empty() && held_.front().sequence != 0 && held_.front().sequence <= number) held_.pop_front();
    // A failed clean-up is harmless: the next landing passes the entries over.
    if (store_.IsOpen()) store_.DeleteThrough(number);
}

// Rolls back the writer's transaction, if SQLite has not already, and returns
// to Idle: what it held is still queued (or, for an entry of its own, about to
// be), and the library holds what it held before.
void LibraryConnection::RollBack() noexcept {
    if (!sqlite3_get_autocommit(writer_.get())) Exec(writer_.get(), "ROLLBACK");
    state_ = Writer::Idle;
    applying_ = landed_;
    heldApplying_ = 0;
}

// The batch's items must come after everything queued: when the queue is
// longer than one landing step, the batch queues its items too.
bool LibraryConnection::BeginBatch() {
    const Guard guard(mutex_);
    if (state_ != Writer::Idle || SharedHandleInTransaction() || !BeginWithQueued()) return false;
    state_ = Writer::Batch;
    if (!QueueTaken()) RollBack();
    return state_ == Writer::Batch;
}

// Whether the open transaction holds every queued entry.
bool LibraryConnection::QueueTaken() const noexcept {
    return lastStored_ <= applying_ && heldApplying_ == held_.size();
}

bool LibraryConnection::ApplyInBatch(std::unique_ptr<WorkEntry>& entry) {
    const Guard guard(mutex_);
    if (state_ != Writer::Batch) return false;
    ApplyResult result = ApplyResult::Transient;
    try {
        result = entry->Apply(writer_.get());
    } catch (...) {
        // Out of memory before anything was written.
    }
    // A full disk or an I/O error may have made SQLite roll the whole batch back.
    if (sqlite3_get_autocommit(writer_.get())) {
        RollBack();
        return false;
    }
    if (result == ApplyResult::Transient) Queue(std::move(entry));
    return true;
}

bool LibraryConnection::EndBatch() {
    Guard guard(mutex_);
    if (state_ != Writer::Batch) return false;
    landingSince_ = Clock::now();
    bool committed = false;
    RetryUntil(guard, landingSince_ + kBusyTimeout, [&] {
        if (state_ != Writer::Batch) return true;
        committed = TryCommit();
        return state_ != Writer::Batch;
    });
    if (state_ == Writer::Batch) RollBack();
    WakeHelper();
    return committed;
}

int LibraryConnection::ReadWith(const std::function<int(sqlite3*)>& read) {
    Guard guard(mutex_);
    int rc = SQLITE_MISUSE;
    RetryUntil(guard, Clock::now() + kBusyTimeout, [&] {
        if (state_ == Writer::Closed) rc = SQLITE_MISUSE;
        else if (state_ == Writer::Idle && !DropStrayTransaction()) rc = SQLITE_NOMEM;
        else rc = read(writer_.get());
        return !IsTransient(rc);
    });
    return rc;
}

bool LibraryConnection::ReadRow(const std::string& key, RecordOwner& row) {
    const int rc = ReadWith([&](sqlite3* writer) {
        int found = LookupTrackRow(writer, key.c_str(), row);
        if (found == SQLITE_ROW || found == SQLITE_DONE) {
            const int overlaid = Overlay(key, row);
            if (overlaid != SQLITE_OK) found = overlaid;
        }
        return found;
    });
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    row.Reset();
    return false;
}

// Shows on a row read for `key` the waiting work for it, in order. Under
// mutex_; SQLite's code of the store's read, or SQLITE_NOMEM.
int LibraryConnection::Overlay(const std::string& key, RecordOwner& row) {
    if (!AnythingWaits()) return SQLITE_OK;
    try {
        std::vector<StoredEntry> waiting;
        if (store_.IsOpen() && (lastStored_ > applying_ || provisionalStored_ > 0)) {
            const int rc = store_.ReadForKey(key, applying_, waiting);
            if (rc != SQLITE_OK) return rc;
        }
        for (const StoredEntry& entry : waiting)
            if (entry.entry != nullptr) entry.entry->Overlay(row);
        for (const StoredEntry& held : held_)
            if ((held.sequence == 0 || held.sequence > applying_) && held.entry->Key() == key) held.entry->Overlay(row);
        return SQLITE_OK;
    } catch (...) {
        return SQLITE_NOMEM;
    }
}

bool LibraryConnection::LandWaitingWork(std::chrono::milliseconds wait) {
    Guard guard(mutex_);
    return RetryUntil(guard, Clock::now() + wait, [this] {
        if (state_ == Writer::Closed) return true;
        LandStep();
        return state_ == Writer::Idle && !AnythingWaits();
    });
}

std::size_t LibraryConnection::WaitingCount() {
    const Guard guard(mutex_);
    std::size_t stored = 0;
    if (store_.IsOpen()) store_.CountAfter(landed_, stored);
    return stored + held_.size();
}

bool LibraryConnection::RetryUntil(Guard& guard, Clock::time_point deadline, const std::function<bool()>& attempt) {
    for (;;) {
        if (attempt()) return true;
        if (Clock::now() >= deadline) return false;
        guard.unlock();
        std::this_thread::sleep_for(kPollStep);
        guard.lock();
    }
}

// Under mutex_: starts the helper thread when work waits and none runs.
void LibraryConnection::WakeHelper() {
    if (helperRunning_ || closing_ || state_ == Writer::Closed || !AnythingWaits()) return;
    helperRunning_ = platform::StartDetachedThread(&LibraryConnection::HelperMain, this);
}

void LibraryConnection::HelperMain(void* self) { static_cast<LibraryConnection*>(self)->HelperLoop(); }

// Retries waiting work until nothing waits or the connection closes. Close
// waits for it to end; nothing else ever does.
void LibraryConnection::HelperLoop() {
    Guard guard(mutex_);
    while (!closing_ && state_ != Writer::Closed) {
        LandStep();
        if (state_ == Writer::Idle && !AnythingWaits()) break;
        changed_.wait_for(guard, state_ == Writer::Landing ? kPollStep : kRetryInterval, [this] { return closing_; });
    }
    helperRunning_ = false;
    changed_.notify_all();
}

}  // namespace vellum
