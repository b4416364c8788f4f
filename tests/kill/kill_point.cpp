#include "kill_point.h"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vellum::kill_point {
namespace {

sqlite3_vfs* g_plain = nullptr;
sqlite3_vfs g_counting;
std::atomic<long> g_counted{0};
long g_killAt = 0;
Count g_count = Count::Steps;

void Counted() {
    if (g_counted.fetch_add(1) + 1 == g_killAt) kill(getpid(), SIGKILL);
}

void Step() {
    if (g_count == Count::Steps) Counted();
}

bool IsJournal(const char* name) {
    static constexpr char kSuffix[] = "-journal";
    const std::size_t length = std::strlen(name);
    return length >= sizeof kSuffix - 1 && std::strcmp(name + length - (sizeof kSuffix - 1), kSuffix) == 0;
}

// The counting file: our header, the plain VFS's file right behind it.
struct CountingFile {
    sqlite3_file base;
};

sqlite3_file* Plain(sqlite3_file* file) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<CountingFile*>(file) + 1);
}

int Close(sqlite3_file* file) { return Plain(file)->pMethods->xClose(Plain(file)); }
int Read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
    return Plain(file)->pMethods->xRead(Plain(file), out, amount, offset);
}
int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    Step();
    return Plain(file)->pMethods->xWrite(Plain(file), data, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    Step();
    return Plain(file)->pMethods->xTruncate(Plain(file), size);
}
int Sync(sqlite3_file* file, int flags) {
    Step();
    return Plain(file)->pMethods->xSync(Plain(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) { return Plain(file)->pMethods->xFileSize(Plain(file), size); }
int Lock(sqlite3_file* file, int level) { return Plain(file)->pMethods->xLock(Plain(file), level); }
int Unlock(sqlite3_file* file, int level) { return Plain(file)->pMethods->xUnlock(Plain(file), level); }
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Plain(file)->pMethods->xCheckReservedLock(Plain(file), out);
}
int FileControl(sqlite3_file* file, int op, void* argument) {
    return Plain(file)->pMethods->xFileControl(Plain(file), op, argument);
}
int SectorSize(sqlite3_file* file) { return Plain(file)->pMethods->xSectorSize(Plain(file)); }
int DeviceCharacteristics(sqlite3_file* file) { return Plain(file)->pMethods->xDeviceCharacteristics(Plain(file)); }
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    return Plain(file)->pMethods->xShmMap(Plain(file), region, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return Plain(file)->pMethods->xShmLock(Plain(file), offset, count, flags);
}
void ShmBarrier(sqlite3_file* file) { Plain(file)->pMethods->xShmBarrier(Plain(file)); }
int ShmUnmap(sqlite3_file* file, int deleteFlag) { return Plain(file)->pMethods->xShmUnmap(Plain(file), deleteFlag); }
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    return Plain(file)->pMethods->xFetch(Plain(file), offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Plain(file)->pMethods->xUnfetch(Plain(file), offset, page);
}

// Version 3 methods: the unix VFS gives every file version 3 methods too.
const sqlite3_io_methods kMethods = {3,
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
                                     Unfetch};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    file->pMethods = nullptr;
    sqlite3_file* plain = Plain(file);
    const int rc = g_plain->xOpen(g_plain, name, plain, flags, outFlags);
    if (plain->pMethods != nullptr) file->pMethods = &kMethods;
    return rc;
}

// A rollback journal's deletion is the commit of its transaction: a step too.
int Delete(sqlite3_vfs*, const char* name, int syncDir) {
    Step();
    const int rc = g_plain->xDelete(g_plain, name, syncDir);
    if (g_count == Count::Commits && rc == SQLITE_OK && IsJournal(name)) Counted();
    return rc;
}

}  // namespace

void Arm(Count count, long nth) {
    g_plain = sqlite3_vfs_find(nullptr);
    g_count = count;
    g_killAt = nth;
    // Everything else is the plain VFS's own, called with its own data.
    g_counting = *g_plain;
    g_counting.pNext = nullptr;
    g_counting.zName = "kill-point";
    g_counting.szOsFile = static_cast<int>(sizeof(CountingFile)) + g_plain->szOsFile;
    g_counting.xOpen = Open;
    g_counting.xDelete = Delete;
    sqlite3_vfs_register(&g_counting, 1);
}

const char* PlainVfsName() { return g_plain != nullptr ? g_plain->zName : nullptr; }

}  // namespace vellum::kill_point
