// File-layer fault injection, as SQLite's own I/O-error tests do it: a VFS
// that wraps the one that was the default and fails chosen file operations.
//
// While a FaultVfsScope lives the wrapper is SQLite's default VFS, so every
// connection opened by path (the library's, its store's, a test's own) goes
// through it; at scope end the previous default is restored. Connections
// opened meanwhile must be closed by then.
//
// An armed fault counts the chosen operations on the files whose names begin
// with a prefix (the library file and its journal, or every file of a
// folder), made on the thread that armed it, so a run with the same arming
// fails the same operation. The operation after `successes` counted ones
// fails; with `persistent`, so does every later one of the chosen kinds, on
// every thread (a disk that stays full, which the connection's helper thread
// meets too). Syncs are counted and failed but never reach the disk: the
// tests simulate no power loss, and a sync costs milliseconds.
#pragma once

#include <string>

namespace vellum::testing {

// The operations a fault can be armed for, as bits.
enum FileOp : unsigned {
    kFileWrite = 1u << 0,     // xWrite
    kFileSync = 1u << 1,      // xSync
    kFileLock = 1u << 2,      // xLock (acquiring only)
    kFileTruncate = 1u << 3,  // xTruncate
    kFileOpen = 1u << 4,      // xOpen
    kFileDelete = 1u << 5,    // the VFS's xDelete (a rollback journal's end)
};

struct FileFault {
    unsigned operations = 0;  // FileOp bits
    // SQLITE_FULL: a failing write stores the first half of its bytes first,
    // as a disk that fills mid-write does. SQLITE_IOERR: each operation fails
    // with its own extended code (SQLITE_IOERR_WRITE, _FSYNC, _LOCK, ...).
    // A failing open is SQLITE_CANTOPEN either way.
    int code = 0;
    // Files whose full names begin with this are watched.
    std::string prefix;
    // Files whose names begin with failingPrefix (when not empty) fail these
    // operations from the arming on, on every thread, uncounted: a library
    // that cannot be written while the faults walk through its store. With
    // failingTimes not negative, only that many of them fail.
    unsigned failingOperations = 0;
    std::string failingPrefix;
    int failingTimes = -1;
    // Count (and fail) the operations of every thread, the connection's
    // helper thread included: which thread reaches an operation first then
    // varies from run to run, and so may the number of fault points.
    bool everyThread = false;
};

class FaultVfsScope {
public:
    FaultVfsScope();
    ~FaultVfsScope();
    FaultVfsScope(const FaultVfsScope&) = delete;
    FaultVfsScope& operator=(const FaultVfsScope&) = delete;
};

// Arms `fault` on the calling thread: the operation after `successes` counted
// ones fails (and, with `persistent`, every later one).
void ArmFileFault(const FileFault& fault, int successes, bool persistent);
// Disarms; what failed stays reported until the next arming.
void DisarmFileFault();
// True when an operation has failed since the last arming.
bool FileFaultInjected();

}  // namespace vellum::testing
