#include "maintenance/own_database.h"

#include <cstdint>
#include <limits>

namespace vellum {

OwnDatabase OpenOwnDatabase(const std::string& utf8Path, int flags, int busyTimeoutMs, const char* vfs) {
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &opened, flags, vfs);
    // A failed open hands out a handle too; the owner closes it.
    OwnDatabase database(opened);
    if (rc != SQLITE_OK) return OwnDatabase();
    sqlite3_busy_timeout(database.get(), busyTimeoutMs);
    return database;
}

OwnStatement PrepareOwn(sqlite3* database, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database, sql, -1, &statement, nullptr);
    return OwnStatement(statement);
}

int ExecOwn(sqlite3* database, const char* sql) { return sqlite3_exec(database, sql, nullptr, nullptr, nullptr); }

std::string FirstText(sqlite3* database, const char* sql, int* rc) {
    OwnStatement statement = PrepareOwn(database, sql);
    int result = statement ? sqlite3_step(statement.get()) : sqlite3_errcode(database);
    std::string text;
    if (result == SQLITE_ROW) {
        const unsigned char* value = sqlite3_column_text(statement.get(), 0);
        if (value != nullptr) text = reinterpret_cast<const char*>(value);
        result = SQLITE_OK;
    } else if (result == SQLITE_DONE) {
        result = SQLITE_OK;
    }
    if (rc != nullptr) *rc = result;
    return text;
}

bool PassesQuickCheck(sqlite3* database) {
    int rc = SQLITE_OK;
    if (FirstText(database, "PRAGMA quick_check", &rc) != "ok" || rc != SQLITE_OK) return false;
    return HasTrackTable(database);
}

bool HasTrackTable(sqlite3* database) {
    return FirstText(database, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'list'") == "1";
}

std::int64_t AddedCounts(std::int64_t a, std::int64_t b) noexcept {
    constexpr std::int64_t kMost = std::numeric_limits<std::int32_t>::max();
    const std::int64_t sum = (a < 0 ? 0 : a) + (b < 0 ? 0 : b);
    return sum > kMost ? kMost : sum;
}

std::int64_t LaterTime(std::int64_t a, std::int64_t b) noexcept {
    return static_cast<std::uint32_t>(a) >= static_cast<std::uint32_t>(b) ? a : b;
}

}  // namespace vellum
