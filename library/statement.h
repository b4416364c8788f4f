// Owners of SQLite's handles: a connection closed and a statement finalized
// at scope end. Connections close with sqlite3_close_v2, so a handle on which
// another plugin still holds statements is released once they are finalized.
#pragma once

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace vellum {

struct CloseDatabase {
    void operator()(sqlite3* database) const noexcept;
};
using DatabaseOwner = std::unique_ptr<sqlite3, CloseDatabase>;

// A compiled statement, finalized at scope end; null when it did not compile.
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
