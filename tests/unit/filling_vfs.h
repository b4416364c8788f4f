// A disk that fills up: an SQLite VFS over the default one whose files take
// at most `limit` bytes; a write beyond that fails with SQLITE_FULL, as it
// does when the disk is full. Registered (not as the default) for its
// lifetime under its name.
#pragma once

#include <sqlite3.h>

#include <string>

namespace vellum {

class FillingVfs {
public:
    FillingVfs(const char* name, sqlite3_int64 limit) : name_(name), limit_(limit) {
        root_ = sqlite3_vfs_find(nullptr);
        vfs_ = *root_;
        vfs_.iVersion = 1;
        vfs_.szOsFile = static_cast<int>(sizeof(File)) + root_->szOsFile;
        vfs_.zName = name_.c_str();
        vfs_.pAppData = this;
        vfs_.pNext = nullptr;
        vfs_.xOpen = Open;
        vfs_.xDelete = [](sqlite3_vfs* vfs, const char* name, int sync) {
            return Root(vfs)->xDelete(Root(vfs), name, sync);
        };
        vfs_.xAccess = [](sqlite3_vfs* vfs, const char* name, int flags, int* out) {
            return Root(vfs)->xAccess(Root(vfs), name, flags, out);
        };
        vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
            return Root(vfs)->xFullPathname(Root(vfs), name, size, out);
        };
        sqlite3_vfs_register(&vfs_, 0);
    }
    ~FillingVfs() { sqlite3_vfs_unregister(&vfs_); }
    FillingVfs(const FillingVfs&) = delete;
    FillingVfs& operator=(const FillingVfs&) = delete;

    const char* Name() const { return name_.c_str(); }

private:
    // The shim's file; the default VFS's file follows it in the same block.
    struct File {
        sqlite3_file base;
        sqlite3_int64 limit;
        sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };

    static sqlite3_vfs* Root(sqlite3_vfs* vfs) { return static_cast<FillingVfs*>(vfs->pAppData)->root_; }
    static sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->Real(); }

    static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
        File* shim = reinterpret_cast<File*>(file);
        shim->base.pMethods = nullptr;
        shim->limit = static_cast<FillingVfs*>(vfs->pAppData)->limit_;
        const int rc = Root(vfs)->xOpen(Root(vfs), name, shim->Real(), flags, outFlags);
        if (shim->Real()->pMethods != nullptr) shim->base.pMethods = &kMethods;
        return rc;
    }

    static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
        if (offset + amount > reinterpret_cast<File*>(file)->limit) return SQLITE_FULL;
        return Real(file)->pMethods->xWrite(Real(file), data, amount, offset);
    }

    static constexpr sqlite3_io_methods kMethods = {
        1,
        [](sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); },
        [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) { return Real(f)->pMethods->xRead(Real(f), d, n, o); },
        Write,
        [](sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); },
        [](sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); },
        [](sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); },
        [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); },
        [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xUnlock(Real(f), lock); },
        [](sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); },
        [](sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); },
        [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); },
        [](sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); },
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };

    std::string name_;
    sqlite3_int64 limit_;
    sqlite3_vfs* root_ = nullptr;
    sqlite3_vfs vfs_{};
};

}  // namespace vellum
