// Connections of the library's maintenance tools (the automatic backup, the
// command-line tool), each its own, opened like any other program's: apart
// from the plugin's shared connection, with a busy timeout, closed by their
// owners.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

namespace vellum {

struct SqliteCloser {
    void operator()(sqlite3* database) const noexcept { sqlite3_close_v2(database); }
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using OwnDatabase = std::unique_ptr<sqlite3, SqliteCloser>;
using OwnStatement = std::unique_ptr<sqlite3_stmt, SqliteCloser>;

// Opens the file at the UTF-8 path with `flags` (SQLITE_OPEN_READONLY, ...)
// through the VFS named (null: the default one) and sets `busyTimeoutMs`.
// Null when it cannot be opened; a file that is not a database opens and
// fails at its first statement.
OwnDatabase OpenOwnDatabase(const std::string& utf8Path, int flags, int busyTimeoutMs, const char* vfs = nullptr);
// Compiles one statement; null when it does not compile.
OwnStatement PrepareOwn(sqlite3* database, const char* sql);
// Runs statements without results. SQLite's result code.
int ExecOwn(sqlite3* database, const char* sql);
// The first column of the first row as text ("" when none), and its result
// code in `rc` when asked.
std::string FirstText(sqlite3* database, const char* sql, int* rc = nullptr);
// True when the open database answers "ok" to PRAGMA quick_check and holds
// the table `list`: a library worth copying or reading plays from.
bool PassesQuickCheck(sqlite3* database);
// True when the database holds the table `list`.
bool HasTrackTable(sqlite3* database);

// Numbers of the row columns the tools merge, as stored: a NULL reads 0.
struct PlayFields {
    std::int64_t playcount = 0;
    std::int64_t lastplayed = 0;
    std::int64_t rating = 0;
};
// Play counts added, held at the largest count a record holds.
std::int64_t AddedCounts(std::int64_t a, std::int64_t b) noexcept;
// The later of two stored times. Times are seconds kept in the low 32 bits and
// read back as unsigned (so they run to 2106): compared that way too.
std::int64_t LaterTime(std::int64_t a, std::int64_t b) noexcept;

}  // namespace vellum
