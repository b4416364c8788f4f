// The platform seam: the few services the portable core needs from the operating
// system. One implementation per platform (seam_win32.cpp, seam_posix.cpp); nothing
// else in the core touches Win32 or POSIX directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "vellumdb.h"

namespace vellum::platform {

// --- Process heap -----------------------------------------------------------
// Records and their texts cross the module boundary and come back through
// FreeRecord, so every one of them comes from this single allocator:
// the process heap on Windows, calloc/free elsewhere. Blocks are zero-filled.
void* HeapAllocZeroed(std::size_t bytes) noexcept;
void HeapRelease(void* block) noexcept;

// --- Text code pages --------------------------------------------------------
// Conversions between the system ANSI code page and UTF-16. Characters that
// have no ANSI form become '?', as the Windows default conversion does.
std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);
// The ANSI code page in force (1252, 932, ...).
unsigned AnsiCodePage() noexcept;

// --- Clock -------------------------------------------------------------------
// Milliseconds since system start, wrapping at 2^32, as GetTickCount returns.
std::uint32_t TickCount() noexcept;
// The local wall-clock time now.
VellumSystemTime LocalTimeNow() noexcept;
// The local wall-clock time of a count of seconds since 1970-01-01 00:00:00
// UTC, milliseconds 0, with 64-bit times on every platform. False when the
// count cannot be broken down.
bool LocalTimeAt(std::int64_t seconds, VellumSystemTime& out) noexcept;
// The seconds since 1970-01-01 00:00:00 UTC of a broken-down local time, as
// mktime gives them (the record is normalised in place), with 64-bit times on
// every platform, so times after 2038 are counted. -1 when there is none.
std::int64_t SecondsOfLocalTime(std::tm& local) noexcept;

// --- Files -------------------------------------------------------------------
// True when a file or folder exists at the wide path.
bool PathExists(std::u16string_view path) noexcept;
// True when the volume a path lives on (platform/volume_root.h) can be
// reached: a drive letter that exists, or a \\server\share\ that answers. A
// path with no volume root is judged reachable.
bool VolumeReachable(std::u16string_view path) noexcept;

// The separator between a folder and a name in a path: '\\' on Windows, '/' elsewhere.
char16_t PathSeparator() noexcept;
// Creates the folder (not its parents). True when it exists afterwards.
bool CreateFolder(std::u16string_view path) noexcept;
// The names of the plain files directly in a folder (no folders, no "." or
// ".."), in no particular order; empty when the folder cannot be read.
std::vector<std::u16string> FilesInFolder(std::u16string_view path);
// Moves a finished file into place under another name in the same folder,
// replacing a file of that name. The move is one step: a reader finds the
// old file or the new one, never a mix. True on success.
bool MoveReplacing(std::u16string_view from, std::u16string_view to) noexcept;
// Deletes a file. True when no file is there afterwards.
bool RemoveFile(std::u16string_view path) noexcept;
// True when both paths name one existing file, however they are written.
bool SameFile(std::u16string_view a, std::u16string_view b) noexcept;

// A file opened for sequential reading, others allowed to read. Move-only.
class InputFile {
public:
    InputFile() noexcept = default;
    explicit InputFile(std::u16string_view path) noexcept;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const noexcept { return handle_ != nullptr; }
    // Reads up to `bytes` bytes; returns how many were read, 0 at the end or on error.
    std::size_t Read(void* buffer, std::size_t bytes) noexcept;

private:
    void Close() noexcept;
    // The seam's own release of an open handle.
    static void ReleaseHandle(void* handle) noexcept;
    void* handle_ = nullptr;
};

// --- Threads -----------------------------------------------------------------
// Runs `work(argument)` on a new thread that nobody joins. On Windows the
// thread keeps the module holding this code loaded until `work` returns, so
// the module may be unloaded meanwhile without pulling the code from under
// it. False when no thread could be started.
bool StartDetachedThread(void (*work)(void*), void* argument) noexcept;

// --- Locks --------------------------------------------------------------------
// A recursive lock: the thread that holds it may take it again.
class RecursiveLock {
public:
    RecursiveLock() noexcept;
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;
    void Lock() noexcept;
    void Unlock() noexcept;

private:
    alignas(8) unsigned char storage_[64];
};

// Holds a RecursiveLock for the lifetime of a scope.
class ScopedLock {
public:
    explicit ScopedLock(RecursiveLock& lock) noexcept : lock_(lock) { lock_.Lock(); }
    ~ScopedLock() { lock_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    RecursiveLock& lock_;
};

}  // namespace vellum::platform
