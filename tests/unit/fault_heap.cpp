// The test binary's allocators, routed through the seam's fault countdown
// (platform/test_hooks.h): every replaceable global operator new and delete, and
// SQLite's allocator. A fault counts only on a thread that armed it, so
// GoogleTest and the connection's helper thread are never failed; a test arms
// the countdown around the operation under test alone (fault_loop.h).
//
// Only this binary gets the replacements: the production module keeps the
// runtime's operator new and SQLite's own allocator.
#include <sqlite3.h>

#include <cstdlib>
#include <new>

#include "platform/test_hooks.h"

namespace {

using vellum::platform::CountHeapBlock;
using vellum::platform::FailNextHeapAllocation;

void* Allocate(std::size_t bytes) noexcept {
    if (FailNextHeapAllocation()) return nullptr;
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) CountHeapBlock(true);
    return block;
}

void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) noexcept {
    if (FailNextHeapAllocation()) return nullptr;
    const std::size_t align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (bytes + align - 1) / align * align;
    void* block = std::aligned_alloc(align, rounded == 0 ? align : rounded);
    if (block != nullptr) CountHeapBlock(true);
    return block;
}

void Release(void* block) noexcept {
    if (block == nullptr) return;
    CountHeapBlock(false);
    std::free(block);
}

void* AllocateOrThrow(std::size_t bytes) {
    void* block = Allocate(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* AllocateAlignedOrThrow(std::size_t bytes, std::align_val_t alignment) {
    void* block = AllocateAligned(bytes, alignment);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

// SQLite's default allocator, wrapped: a faulted xMalloc or xRealloc returns
// null, as SQLite's own fault injection does. SQLite's blocks are not counted
// as outstanding: its page cache grows with the file, so its leaks are left to
// LeakSanitizer (native-asan) at exit.
sqlite3_mem_methods g_sqliteDefault;

void* SqliteMalloc(int bytes) { return FailNextHeapAllocation() ? nullptr : g_sqliteDefault.xMalloc(bytes); }
void* SqliteRealloc(void* block, int bytes) {
    return FailNextHeapAllocation() ? nullptr : g_sqliteDefault.xRealloc(block, bytes);
}
void SqliteFree(void* block) { g_sqliteDefault.xFree(block); }
int SqliteSize(void* block) { return g_sqliteDefault.xSize(block); }
int SqliteRoundup(int bytes) { return g_sqliteDefault.xRoundup(bytes); }
int SqliteInit(void* data) { return g_sqliteDefault.xInit(data); }
void SqliteShutdown(void* data) { g_sqliteDefault.xShutdown(data); }

// Runs before main and so before SQLite is initialized (by the first
// connection): SQLITE_CONFIG_MALLOC is refused after that.
struct InstallSqliteAllocator {
    InstallSqliteAllocator() {
        if (sqlite3_config(SQLITE_CONFIG_GETMALLOC, &g_sqliteDefault) != SQLITE_OK) std::abort();
        static sqlite3_mem_methods wrapped = g_sqliteDefault;
        wrapped.xMalloc = SqliteMalloc;
        wrapped.xRealloc = SqliteRealloc;
        wrapped.xFree = SqliteFree;
        wrapped.xSize = SqliteSize;
        wrapped.xRoundup = SqliteRoundup;
        wrapped.xInit = SqliteInit;
        wrapped.xShutdown = SqliteShutdown;
        if (sqlite3_config(SQLITE_CONFIG_MALLOC, &wrapped) != SQLITE_OK) std::abort();
    }
} g_installSqliteAllocator;

}  // namespace

void* operator new(std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void* operator new(std::size_t bytes, std::align_val_t alignment) { return AllocateAlignedOrThrow(bytes, alignment); }
void* operator new[](std::size_t bytes, std::align_val_t alignment) { return AllocateAlignedOrThrow(bytes, alignment); }
void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes, alignment);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes, alignment);
}

void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { Release(block); }
