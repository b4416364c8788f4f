#include "library/work_store.h"

#include <sqlite3.h>

namespace vellum {
namespace {

// Exclusive locking before the journal mode: the write-ahead log then keeps
// its index in the process's memory, and no other program can take the file.
constexpr char kSetUpSql[] =
    "PRAGMA locking_mode=EXCLUSIVE;"
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "CREATE TABLE IF NOT EXISTS work(sequence INTEGER PRIMARY KEY, kind INTEGER NOT NULL, "
    "key BLOB NOT NULL, data BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS work_key ON work(key)";

int BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    return sqlite3_bind_blob(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnBytes(sqlite3_stmt* statement, int column) {
    const void* bytes = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return bytes != nullptr ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                            : std::string();
}

}  // namespace

std::string WorkStore::PathFor(const std::string& libraryPath) {
    static constexpr char kSuffix[] = ".db";
    const std::size_t suffix = sizeof kSuffix - 1;
    const bool hasSuffix =
        libraryPath.size() > suffix && libraryPath.compare(libraryPath.size() - suffix, suffix, kSuffix) == 0;
    return (hasSuffix ? libraryPath.substr(0, libraryPath.size() - suffix) : libraryPath) + "-pending.db";
}

bool WorkStore::Open(const std::string& utf8Path) {
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DatabaseOwner database(opened);
    if (rc != SQLITE_OK) return false;
    if (sqlite3_exec(database.get(), kSetUpSql, nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    database_ = std::move(database);
    return true;
}

int WorkStore::Append(std::int64_t sequence, const WorkEntry& entry) {
    const int synced = SyncFor(entry.Kind());
    if (synced != SQLITE_OK) return synced;
    Statement insert(database_.get(), "INSERT OR REPLACE INTO work(sequence, kind, key, data) VALUES(?, ?, ?, ?)");
    if (insert.Get() == nullptr) return sqlite3_errcode(database_.get());
    sqlite3_bind_int64(insert.Get(), 1, sequence);
    sqlite3_bind_int(insert.Get(), 2, static_cast<int>(entry.Kind()));
    BindText(insert.Get(), 3, entry.Key());
    BindText(insert.Get(), 4, entry.Encode());
    const int rc = sqlite3_step(insert.Get());
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// A play credit is the listener's own history: its append waits for the disk,
// so that not even a power cut takes it. The others are written through to the
// system at once (a killed or crashed player keeps them) and reach the disk at
// the log's next checkpoint, which keeps a few thousand AddFile calls grouped
// in another plugin's transaction from costing a disk sync each.
int WorkStore::SyncFor(EntryKind kind) {
    const bool full = kind == EntryKind::PlayCredit;
    if (full == syncFull_) return SQLITE_OK;
    const int rc = sqlite3_exec(database_.get(), full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL",
                                nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) syncFull_ = full;
    return rc;
}

int WorkStore::ReadAfter(std::int64_t sequence, std::size_t limit, std::vector<StoredEntry>& out) {
    Statement query(database_.get(),
                    "SELECT sequence, kind, key, data FROM work WHERE sequence > ? ORDER BY sequence LIMIT ?");
    if (query.Get() == nullptr) return sqlite3_errcode(database_.get());
    sqlite3_bind_int64(query.Get(), 1, sequence);
    sqlite3_bind_int64(query.Get(), 2, static_cast<sqlite3_int64>(limit));
    return ReadEntries(query, out);
}

int WorkStore::ReadForKey(const std::string& key, std::int64_t sequence, std::vector<StoredEntry>& out) {
    Statement query(database_.get(),
                    "SELECT sequence, kind, key, data FROM work WHERE key = ? AND (sequence > ? OR sequence < 0) "
                    "ORDER BY sequence < 0, abs(sequence)");
    if (query.Get() == nullptr) return sqlite3_errcode(database_.get());
    BindText(query.Get(), 1, key);
    sqlite3_bind_int64(query.Get(), 2, sequence);
    return ReadEntries(query, out);
}

int WorkStore::ReadEntries(Statement& query, std::vector<StoredEntry>& out) {
    int rc;
    while ((rc = sqlite3_step(query.Get())) == SQLITE_ROW) {
        const std::int64_t sequence = sqlite3_column_int64(query.Get(), 0);
        const int kind = sqlite3_column_int(query.Get(), 1);
        out.push_back(
            StoredEntry{sequence, DecodeEntry(kind, ColumnBytes(query.Get(), 2), ColumnBytes(query.Get(), 3))});
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int WorkStore::DeleteThrough(std::int64_t sequence) { return Change("DELETE FROM work WHERE sequence <= ?", sequence); }

int WorkStore::NumberProvisional(std::int64_t first) {
    // -1 becomes `first`, -2 `first` + 1, ...: above every number in use.
    return Change("UPDATE work SET sequence = ? - sequence - 1 WHERE sequence < 0", first);
}

int WorkStore::Change(const char* sql, std::int64_t number) {
    Statement change(database_.get(), sql);
    if (change.Get() == nullptr) return sqlite3_errcode(database_.get());
    sqlite3_bind_int64(change.Get(), 1, number);
    const int rc = sqlite3_step(change.Get());
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int WorkStore::Provisional(std::int64_t& lowest, std::size_t& count) {
    Statement query(database_.get(), "SELECT coalesce(min(sequence), 0), count(*) FROM work WHERE sequence < 0");
    if (query.Get() == nullptr) return sqlite3_errcode(database_.get());
    const int rc = sqlite3_step(query.Get());
    if (rc != SQLITE_ROW) return rc;
    lowest = sqlite3_column_int64(query.Get(), 0);
    count = static_cast<std::size_t>(sqlite3_column_int64(query.Get(), 1));
    return SQLITE_OK;
}

int WorkStore::CountAfter(std::int64_t sequence, std::size_t& out) {
    Statement query(database_.get(), "SELECT count(*) FROM work WHERE sequence > ? OR sequence < 0");
    if (query.Get() == nullptr) return sqlite3_errcode(database_.get());
    sqlite3_bind_int64(query.Get(), 1, sequence);
    const int rc = sqlite3_step(query.Get());
    if (rc != SQLITE_ROW) return rc;
    out = static_cast<std::size_t>(sqlite3_column_int64(query.Get(), 0));
    return SQLITE_OK;
}

int WorkStore::LastSequence(std::int64_t& out) {
    Statement query(database_.get(), "SELECT max(0, coalesce(max(sequence), 0)) FROM work");
    if (query.Get() == nullptr) return sqlite3_errcode(database_.get());
    const int rc = sqlite3_step(query.Get());
    if (rc != SQLITE_ROW) return rc;
    out = sqlite3_column_int64(query.Get(), 0);
    return SQLITE_OK;
}

}  // namespace vellum
