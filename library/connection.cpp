#include "library/connection.h"

#include <sqlite3.h>

#include <cstring>

#include "library/schema.h"
#include "library/sqlite_settings.h"

namespace vellum {
namespace {

// A write that meets another connection's lock waits this long before it fails.
constexpr int kBusyTimeoutMs = 1500;
// A COMMIT that still meets a lock after the busy timeout is tried this often
// before the transaction is rolled back, so the connection is never left stuck
// inside a transaction that nothing will end.
constexpr int kCommitAttempts = 3;

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
    if (check.get() == nullptr) return IsDamaged(sqlite3_extended_errcode(database));
    const int rc = sqlite3_step(check.get());
    if (rc != SQLITE_ROW) return IsDamaged(rc) || IsDamaged(sqlite3_extended_errcode(database));
    const unsigned char* verdict = sqlite3_column_text(check.get(), 0);
    return verdict == nullptr || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0;
}

// A write that changes nothing. Run right after BEGIN, it claims the write lock
// while the busy timeout can still wait for another program's: once a
// transaction has read, SQLite fails a write at once instead of waiting.
constexpr char kClaimWriteLockSql[] = "DELETE FROM list WHERE 0";

}  // namespace

LibraryConnection::~LibraryConnection() { Close(); }

bool LibraryConnection::Open(const std::string& utf8Path) {
    platform::ScopedLock hold(lock_);
    if (database_ != nullptr) return true;
    ApplySqliteSettings();
    sqlite3* database = nullptr;
    // Open the existing file or create it; never truncate or replace it.
    int rc = sqlite3_open_v2(utf8Path.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(database);
        return false;
    }
    sqlite3_busy_timeout(database, kBusyTimeoutMs);
    if (FindsDamage(database)) {
        sqlite3_close(database);
        return false;
    }
    rc = sqlite3_exec(database, kCreateTableSql, nullptr, nullptr, nullptr);
    if (IsDamaged(rc) || IsDamaged(sqlite3_extended_errcode(database))) {
        // Not a database, or a damaged one: leave the file alone and run without it.
        sqlite3_close(database);
        return false;
    }
    database_ = database;
    return true;
}

void LibraryConnection::Close() {
    platform::ScopedLock hold(lock_);
    if (database_ == nullptr) return;
    if (!sqlite3_get_autocommit(database_)) sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(database_);
    database_ = nullptr;
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

bool LibraryConnection::BeginOwned() {
    platform::ScopedLock hold(lock_);
    if (database_ == nullptr || !sqlite3_get_autocommit(database_)) return false;
    if (sqlite3_exec(database_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    // When the lock cannot be had in time the transaction goes on without it:
    // its writes fail, and its COMMIT ends it as usual.
    sqlite3_exec(database_, kClaimWriteLockSql, nullptr, nullptr, nullptr);
    return true;
}

void LibraryConnection::CommitOwned() {
    platform::ScopedLock hold(lock_);
    if (database_ == nullptr || sqlite3_get_autocommit(database_)) return;
    for (int attempt = 0; attempt < kCommitAttempts; ++attempt) {
        sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
        if (sqlite3_get_autocommit(database_)) return;
    }
    sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
}

Transaction::Transaction(LibraryConnection& connection)
    : connection_(connection), owned_(connection.BeginOwned()) {}

Transaction::~Transaction() {
    if (owned_) connection_.CommitOwned();
}

Statement::Statement(sqlite3* database, const char* sql) noexcept {
    if (database != nullptr) sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(statement_); }

}  // namespace vellum
