// Another program's connection to the library holding a lock until Release:
// a stepped statement (a read lock, which stops every COMMIT), "BEGIN
// IMMEDIATE" (the write lock, which stops every write) or "BEGIN EXCLUSIVE"
// (no one else reads either).
#pragma once

#include <sqlite3.h>

#include <string>

namespace vellum::testing {

class ForeignLock {
public:
    enum Kind { Read, Write, Exclusive };
    ForeignLock(const std::string& path, Kind kind) {
        sqlite3_open(path.c_str(), &database_);
        sqlite3_busy_timeout(database_, 10000);
        if (kind == Read) {
            sqlite3_prepare_v2(database_, "SELECT file_name FROM list UNION ALL SELECT 1", -1, &reader_, nullptr);
            sqlite3_step(reader_);  // a row in hand: the read lock stays until reset
        } else {
            sqlite3_exec(database_, kind == Write ? "BEGIN IMMEDIATE" : "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        }
    }
    ~ForeignLock() {
        Release();
        sqlite3_close(database_);
    }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;
    void Release() {
        sqlite3_finalize(reader_);
        reader_ = nullptr;
        if (!sqlite3_get_autocommit(database_)) sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
    }

private:
    sqlite3* database_ = nullptr;
    sqlite3_stmt* reader_ = nullptr;
};

}  // namespace vellum::testing
