// The plugin's one access point to its SQLite connection.
//
// Every thread that touches the library (the host's window thread, the batch
// worker, the audio library's sync thread, other plugins' threads) goes through
// a LibraryConnection. One recursive lock guards each operation, so a lookup
// and the write that follows it form one unit. The lock is held only while SQL
// runs, never while waiting on another thread.
//
// Transactions are joined, not nested: a Transaction opened while another is
// already open on the connection (by any thread, or by another plugin through
// the raw handle) neither sends a second "BEGIN" nor an early "COMMIT"; its
// work lands in the open transaction and is committed with it.
//
// After Close the connection is null and every operation is skipped.
#pragma once

#include <string>

#include "platform/seam.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vellum {

class LibraryConnection {
public:
    LibraryConnection() = default;
    ~LibraryConnection();
    LibraryConnection(const LibraryConnection&) = delete;
    LibraryConnection& operator=(const LibraryConnection&) = delete;

    // Opens (or creates) the database at the UTF-8 path and runs the schema
    // statement. A file that is not a database, or is damaged, is left exactly
    // as it is and the connection stays closed. Returns true when open.
    bool Open(const std::string& utf8Path);
    // Commits what an open transaction holds, then closes and clears the
    // connection under the lock; later operations are skipped.
    void Close();

    // The raw connection, or null when closed.
    sqlite3* Handle() const noexcept;
    // The lock that guards every read-modify-write on the connection.
    platform::RecursiveLock& Lock() noexcept { return lock_; }

    // Runs one complete statement text under the lock. Returns SQLite's result
    // code, or -1 when the connection is closed.
    int Exec(const char* sql);

private:
    friend class Transaction;
    bool BeginOwned();
    void CommitOwned();

    mutable platform::RecursiveLock lock_;
    sqlite3* database_ = nullptr;
};

// "BEGIN" ... "COMMIT" for one unit of work, joining a transaction that is
// already open. Commits when it opened the transaction itself. Opening one
// claims the write lock at once, waiting up to the busy timeout for another
// program's, so that a read-then-write inside it does not fail on a brief lock.
class Transaction {
public:
    explicit Transaction(LibraryConnection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    LibraryConnection& connection_;
    bool owned_;
};

// A compiled statement, finalized at scope end.
class Statement {
public:
    Statement(sqlite3* database, const char* sql) noexcept;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const noexcept { return statement_; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace vellum
