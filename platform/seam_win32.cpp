// Win32 implementation of the platform seam.
#include "platform/seam.h"

#include <windows.h>

#include <new>

#include "platform/system_time.h"
#include "platform/test_hooks.h"
#include "platform/volume_root.h"
#include "platform/unique_handle_win32.h"

namespace vellum::platform {
namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

void SetAnsiCodePageForTesting(unsigned) noexcept {}

void* HeapAllocZeroed(std::size_t bytes) noexcept {
    if (FailNextHeapAllocation()) return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes == 0 ? 1 : bytes);
}

void HeapRelease(void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

std::u16string AnsiToWide(std::string_view ansi) {
    if (ansi.empty()) return std::u16string();
    int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(length > 0 ? length : 0), u'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                            reinterpret_cast<wchar_t*>(wide.data()), length);
    return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
    if (wide.empty()) return std::string();
    const wchar_t* source = reinterpret_cast<const wchar_t*>(wide.data());
    int count = static_cast<int>(wide.size());
    int length = WideCharToMultiByte(CP_ACP, 0, source, count, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, source, count, ansi.data(), length, nullptr, nullptr);
    return ansi;
}

unsigned AnsiCodePage() noexcept { return GetACP(); }

std::uint32_t TickCount() noexcept { return GetTickCount(); }

VellumSystemTime LocalTimeNow() noexcept {
    SYSTEMTIME now;
    GetLocalTime(&now);
    VellumSystemTime st;
    static_assert(sizeof st == sizeof now, "VellumSystemTime must match SYSTEMTIME");
    CopyMemory(&st, &now, sizeof st);
    return st;
}

bool LocalTimeAt(std::int64_t seconds, VellumSystemTime& out) noexcept {
    const __time64_t time = seconds;
    std::tm local{};
    if (_localtime64_s(&local, &time) != 0) return false;
    out = SystemTimeFromTm(local, 0);
    return true;
}

// The CRT's explicit 64-bit forms: on 32-bit Windows, time_t and plain
// mktime/localtime stop at 2038.
std::int64_t SecondsOfLocalTime(std::tm& local) noexcept { return _mktime64(&local); }

bool PathExists(std::u16string_view path) noexcept {
    try {
        std::u16string text(path);
        return !text.empty() && GetFileAttributesW(Wide(text)) != INVALID_FILE_ATTRIBUTES;
    } catch (...) {
        return false;
    }
}

bool VolumeReachable(std::u16string_view path) noexcept {
    try {
        const std::u16string root = VolumeRoot(path);
        if (root.empty()) return true;
        // The root folder of the drive or share: "X:\", "\\server\share\".
        return GetFileAttributesW(Wide(root + u"\\")) != INVALID_FILE_ATTRIBUTES;
    } catch (...) {
        return false;
    }
}

char16_t PathSeparator() noexcept { return u'\\'; }

bool CreateFolder(std::u16string_view path) noexcept {
    try {
        const std::u16string text(path);
        if (CreateDirectoryW(Wide(text), nullptr)) return true;
        const DWORD attributes = GetFileAttributesW(Wide(text));
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } catch (...) {
        return false;
    }
}

std::vector<std::u16string> FilesInFolder(std::u16string_view path) {
    std::vector<std::u16string> names;
    const std::u16string pattern = std::u16string(path) + u"\\*";
    WIN32_FIND_DATAW found;
    win32::UniqueFind search(FindFirstFileW(Wide(pattern), &found));
    if (!search) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.emplace_back(reinterpret_cast<const char16_t*>(found.cFileName));
    } while (FindNextFileW(search.Get(), &found));
    return names;
}

bool MoveReplacing(std::u16string_view from, std::u16string_view to) noexcept {
    try {
        const std::u16string source(from), target(to);
        return MoveFileExW(Wide(source), Wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    } catch (...) {
        return false;
    }
}

bool RemoveFile(std::u16string_view path) noexcept {
    try {
        const std::u16string text(path);
        return DeleteFileW(Wide(text)) || GetLastError() == ERROR_FILE_NOT_FOUND;
    } catch (...) {
        return false;
    }
}

namespace {

// The volume and index that identify an open file; false when it cannot be opened.
bool FileIdentity(std::u16string_view path, BY_HANDLE_FILE_INFORMATION& identity) {
    const std::u16string text(path);
    win32::UniqueFile file(CreateFileW(Wide(text), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.Get(), &identity);
}

}  // namespace

bool SameFile(std::u16string_view a, std::u16string_view b) noexcept {
    try {
        BY_HANDLE_FILE_INFORMATION first{}, second{};
        return FileIdentity(a, first) && FileIdentity(b, second) &&
               first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
    } catch (...) {
        return false;
    }
}

InputFile::InputFile(std::u16string_view path) noexcept {
    try {
        std::u16string text(path);
        HANDLE file = CreateFileW(Wide(text), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        handle_ = file == INVALID_HANDLE_VALUE ? nullptr : file;
    } catch (...) {
        handle_ = nullptr;
    }
}

void InputFile::ReleaseHandle(void* handle) noexcept { CloseHandle(handle); }

std::size_t InputFile::Read(void* buffer, std::size_t bytes) noexcept {
    if (handle_ == nullptr) return 0;
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(bytes), &got, nullptr)) return 0;
    return got;
}

namespace {

struct DetachedThread {
    void (*work)(void*);
    void* argument;
    HMODULE module;
};

DWORD WINAPI RunDetached(LPVOID parameter) {
    const DetachedThread job = *static_cast<DetachedThread*>(parameter);
    delete static_cast<DetachedThread*>(parameter);
    job.work(job.argument);
    // Drops the module reference and ends the thread in one call, so no code
    // of the module runs after the reference is gone.
    FreeLibraryAndExitThread(job.module, 0);
}

}  // namespace

bool StartDetachedThread(void (*work)(void*), void* argument) noexcept {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RunDetached), &module))
        return false;
    auto* job = new (std::nothrow) DetachedThread{work, argument, module};
    HANDLE thread = job != nullptr ? CreateThread(nullptr, 0, RunDetached, job, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        delete job;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}

static_assert(sizeof(CRITICAL_SECTION) <= 64, "lock storage too small");

RecursiveLock::RecursiveLock() noexcept { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

void RecursiveLock::Lock() noexcept { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

void RecursiveLock::Unlock() noexcept { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

}  // namespace vellum::platform
