// One write transaction of a maintenance tool on its own connection: taken
// at once (BEGIN IMMEDIATE, waiting up to the connection's busy timeout for
// other programs), rolled back at scope end unless committed.
#pragma once

#include <sqlite3.h>

namespace vellum {

class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* database) noexcept;
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    // False when the write lock could not be had.
    bool Open() const noexcept { return open_; }
    // Commits, retrying while readers hold the file, up to `attempts` times
    // the busy timeout. False when it could not be committed (the scope's
    // end then rolls it back).
    bool Commit(int attempts = 3) noexcept;

private:
    sqlite3* database_;
    bool open_ = false;
};

}  // namespace vellum
