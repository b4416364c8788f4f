#include "fault_vfs.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace vellum::testing {
namespace {

// The arming, under one mutex: the connection's helper thread reaches the
// VFS as well as the test's.
struct Arming {
    std::mutex mutex;
    FileFault fault;
    std::thread::id thread;
    bool armed = false;
    int failingLeft = -1;    // of the uncounted failing operations; negative: all
    int successesLeft = -1;  // negative: nothing counts
    bool persistent = false;
    bool failing = false;  // persistent, and the first fault is reached
    bool injected = false;
};

Arming& State() {
    static Arming state;
    return state;
}

int CodeFor(unsigned operation, int code) {
    if (operation == kFileOpen) return SQLITE_CANTOPEN;
    if (code != SQLITE_IOERR) return code;
    switch (operation) {
        case kFileWrite: return SQLITE_IOERR_WRITE;
        case kFileSync: return SQLITE_IOERR_FSYNC;
        case kFileLock: return SQLITE_IOERR_LOCK;
        case kFileTruncate: return SQLITE_IOERR_TRUNCATE;
        case kFileDelete: return SQLITE_IOERR_DELETE;
        default: return SQLITE_IOERR;
    }
}

bool StartsWith(const char* name, const std::string& prefix) {
    return !prefix.empty() && std::strncmp(name, prefix.c_str(), prefix.size()) == 0;
}

// SQLITE_OK to let the operation through, or the code it fails with.
int Decide(unsigned operation, const char* name) {
    Arming& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.armed || name == nullptr) return SQLITE_OK;
    if ((state.fault.failingOperations & operation) != 0 && StartsWith(name, state.fault.failingPrefix) &&
        state.failingLeft != 0) {
        if (state.failingLeft > 0) --state.failingLeft;
        return CodeFor(operation, state.fault.code);
    }
    if ((state.fault.operations & operation) == 0 || !StartsWith(name, state.fault.prefix) ||
        (state.successesLeft < 0 && !state.failing))
        return SQLITE_OK;
    if (state.failing) return CodeFor(operation, state.fault.code);
    if (!state.fault.everyThread && std::this_thread::get_id() != state.thread) return SQLITE_OK;
    if (state.successesLeft > 0) {
        --state.successesLeft;
        return SQLITE_OK;
    }
    state.successesLeft = -1;
    state.injected = true;
    state.failing = state.persistent;
    return CodeFor(operation, state.fault.code);
}

// A file of the wrapper: the wrapped VFS's file lies right behind it, aligned
// as SQLite aligns the files it allocates.
struct alignas(8) FaultFile {
    sqlite3_file base;
    sqlite3_file* real;
    const char* name;  // SQLite keeps it unchanged until xClose
};

sqlite3_vfs* Real(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }
sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }
const char* NameOf(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->name; }

int Close(sqlite3_file* file) { return Real(file)->pMethods->xClose(Real(file)); }
int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    const int rc = Decide(kFileWrite, NameOf(file));
    if (rc == SQLITE_OK) return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
    if (rc == SQLITE_FULL && amount > 1) Real(file)->pMethods->xWrite(Real(file), buffer, amount / 2, offset);
    return rc;
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    const int rc = Decide(kFileTruncate, NameOf(file));
    return rc != SQLITE_OK ? rc : Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int) { return Decide(kFileSync, NameOf(file)); }
int FileSize(sqlite3_file* file, sqlite3_int64* size) { return Real(file)->pMethods->xFileSize(Real(file), size); }
int Lock(sqlite3_file* file, int level) {
    const int rc = Decide(kFileLock, NameOf(file));
    return rc != SQLITE_OK ? rc : Real(file)->pMethods->xLock(Real(file), level);
}
int Unlock(sqlite3_file* file, int level) { return Real(file)->pMethods->xUnlock(Real(file), level); }
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file* file, int op, void* argument) {
    return Real(file)->pMethods->xFileControl(Real(file), op, argument);
}
int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file* file) { return Real(file)->pMethods->xDeviceCharacteristics(Real(file)); }
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { Real(file)->pMethods->xShmBarrier(Real(file)); }
int ShmUnmap(sqlite3_file* file, int deleteFlag) { return Real(file)->pMethods->xShmUnmap(Real(file), deleteFlag); }
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

// Version 3 methods; the files of the default VFS on POSIX are version 3 too.
const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    FaultFile* wrapped = reinterpret_cast<FaultFile*>(file);
    wrapped->base.pMethods = nullptr;
    wrapped->real = reinterpret_cast<sqlite3_file*>(wrapped + 1);
    wrapped->name = name;
    const int fault = Decide(kFileOpen, name);
    if (fault != SQLITE_OK) return fault;
    const int rc = Real(vfs)->xOpen(Real(vfs), name, wrapped->real, flags, outFlags);
    // SQLite calls xClose whenever pMethods is set, even after a failed open.
    if (wrapped->real->pMethods != nullptr) wrapped->base.pMethods = &kMethods;
    return rc;
}
int Delete(sqlite3_vfs* vfs, const char* name, int syncDirectory) {
    const int rc = Decide(kFileDelete, name);
    return rc != SQLITE_OK ? rc : Real(vfs)->xDelete(Real(vfs), name, syncDirectory);
}
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    return Real(vfs)->xAccess(Real(vfs), name, flags, out);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return Real(vfs)->xFullPathname(Real(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) { return Real(vfs)->xDlOpen(Real(vfs), name); }
void DlError(sqlite3_vfs* vfs, int size, char* out) { Real(vfs)->xDlError(Real(vfs), size, out); }
void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
    return Real(vfs)->xDlSym(Real(vfs), library, symbol);
}
void DlClose(sqlite3_vfs* vfs, void* library) { Real(vfs)->xDlClose(Real(vfs), library); }
int Randomness(sqlite3_vfs* vfs, int size, char* out) { return Real(vfs)->xRandomness(Real(vfs), size, out); }
int Sleep(sqlite3_vfs* vfs, int microseconds) { return Real(vfs)->xSleep(Real(vfs), microseconds); }
int CurrentTime(sqlite3_vfs* vfs, double* out) { return Real(vfs)->xCurrentTime(Real(vfs), out); }
int GetLastError(sqlite3_vfs* vfs, int size, char* out) { return Real(vfs)->xGetLastError(Real(vfs), size, out); }
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) { return Real(vfs)->xCurrentTimeInt64(Real(vfs), out); }

sqlite3_vfs g_vfs;
sqlite3_vfs* g_previous = nullptr;

}  // namespace

FaultVfsScope::FaultVfsScope() {
    g_previous = sqlite3_vfs_find(nullptr);
    // Version 2: the wrapped VFS's system-call overrides are left alone.
    g_vfs = sqlite3_vfs{};
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + g_previous->szOsFile;
    g_vfs.mxPathname = g_previous->mxPathname;
    g_vfs.zName = "vellum-file-faults";
    g_vfs.pAppData = g_previous;
    g_vfs.xOpen = Open;
    g_vfs.xDelete = Delete;
    g_vfs.xAccess = Access;
    g_vfs.xFullPathname = FullPathname;
    g_vfs.xDlOpen = DlOpen;
    g_vfs.xDlError = DlError;
    g_vfs.xDlSym = DlSym;
    g_vfs.xDlClose = DlClose;
    g_vfs.xRandomness = Randomness;
    g_vfs.xSleep = Sleep;
    g_vfs.xCurrentTime = CurrentTime;
    g_vfs.xGetLastError = GetLastError;
    g_vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    sqlite3_vfs_register(&g_vfs, 1);
}

FaultVfsScope::~FaultVfsScope() {
    DisarmFileFault();
    sqlite3_vfs_register(g_previous, 1);
    sqlite3_vfs_unregister(&g_vfs);
}

void ArmFileFault(const FileFault& fault, int successes, bool persistent) {
    Arming& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.fault = fault;
    state.thread = std::this_thread::get_id();
    state.armed = true;
    state.failingLeft = fault.failingTimes;
    state.successesLeft = successes;
    state.persistent = persistent;
    state.failing = false;
    state.injected = false;
}

void DisarmFileFault() {
    Arming& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.armed = false;
    state.successesLeft = -1;
    state.failing = false;
}

bool FileFaultInjected() {
    Arming& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    return state.injected;
}

}  // namespace vellum::testing
