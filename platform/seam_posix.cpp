// POSIX implementation of the platform seam, for native builds and tests.
#include "platform/seam.h"

#include <dirent.h>
#include <iconv.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/system_time.h"
#include "platform/text.h"
#include "platform/test_hooks.h"

namespace vellum::platform {
namespace {

unsigned g_ansiCodePage = 1252;

std::string IconvName(unsigned codePage) { return "CP" + std::to_string(codePage); }

// One converter per direction and code page, kept for the thread's lifetime:
// opening a converter costs far more than converting a line.
class Converter {
public:
    iconv_t Get(const char* to, const char* from) {
        std::string key = std::string(to) + '<' + from;
        if (key != key_) {
            Close();
            cd_ = iconv_open(to, from);
            key_ = cd_ == Invalid() ? std::string() : key;
        }
        if (cd_ != Invalid()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return cd_;
    }
    ~Converter() { Close(); }

    // iconv_open's failure value, as POSIX defines it.
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the value is a marker, never dereferenced.
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    void Close() {
        if (cd_ != Invalid()) iconv_close(cd_);
        cd_ = Invalid();
    }
    iconv_t cd_ = Invalid();
    std::string key_;
};

// Converts with iconv, replacing what cannot be converted by `fallback`.
std::string Iconv(const char* to, const char* from, std::string_view in, std::string_view fallback, std::size_t unit) {
    thread_local Converter toWide, toAnsi;
    iconv_t cd = (std::string_view(to) == "UTF-16LE" ? toWide : toAnsi).Get(to, from);
    if (cd == Converter::Invalid()) return std::string();
    std::string out;
    char buffer[256];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        std::size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An unconvertible or incomplete unit: substitute and skip it.
            out.append(fallback);
            std::size_t skip = left < unit ? left : unit;
            src += skip;
            left -= skip;
        }
    }
    return out;
}

}  // namespace

void SetAnsiCodePageForTesting(unsigned codePage) noexcept { g_ansiCodePage = codePage; }

void* HeapAllocZeroed(std::size_t bytes) noexcept {
    if (FailNextHeapAllocation()) return nullptr;
    void* block = std::calloc(1, bytes == 0 ? 1 : bytes);
    if (block != nullptr) CountHeapBlock(true);
    return block;
}

void HeapRelease(void* block) noexcept {
    if (block != nullptr) CountHeapBlock(false);
    std::free(block);
}

std::u16string AnsiToWide(std::string_view ansi) {
    const std::string name = IconvName(g_ansiCodePage);
    std::string bytes = Iconv("UTF-16LE", name.c_str(), ansi, std::string("\xFD\xFF", 2), 1);
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    const std::string name = IconvName(g_ansiCodePage);
    return Iconv(name.c_str(), "UTF-16LE", bytes, "?", 2);
}

unsigned AnsiCodePage() noexcept { return g_ansiCodePage; }

std::uint32_t TickCount() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t ms =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

VellumSystemTime LocalTimeNow() noexcept {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return SystemTimeFromTm(local, static_cast<std::uint16_t>(now.tv_nsec / 1000000));
}

bool LocalTimeAt(std::int64_t seconds, VellumSystemTime& out) noexcept {
    static_assert(sizeof(std::time_t) >= 8, "times beyond 2038 need a 64-bit time_t");
    const std::time_t time = static_cast<std::time_t>(seconds);
    tm local{};
    if (localtime_r(&time, &local) == nullptr) return false;
    out = SystemTimeFromTm(local, 0);
    return true;
}

std::int64_t SecondsOfLocalTime(std::tm& local) noexcept {
    static_assert(sizeof(std::time_t) >= 8, "times beyond 2038 need a 64-bit time_t");
    return static_cast<std::int64_t>(std::mktime(&local));
}

bool PathExists(std::u16string_view path) noexcept {
    try {
        struct stat info {};
        return !path.empty() && stat(Utf16ToUtf8(path).c_str(), &info) == 0;
    } catch (...) {
        return false;
    }
}

bool VolumeReachable(std::u16string_view) noexcept { return true; }

char16_t PathSeparator() noexcept { return u'/'; }

bool CreateFolder(std::u16string_view path) noexcept {
    try {
        const std::string name = Utf16ToUtf8(path);
        struct stat info {};
        return mkdir(name.c_str(), 0777) == 0 || (stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    } catch (...) {
        return false;
    }
}

std::vector<std::u16string> FilesInFolder(std::u16string_view path) {
    std::vector<std::u16string> names;
    const std::string folder = Utf16ToUtf8(path);
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(folder.c_str()), closedir);
    if (listing == nullptr) return names;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): readdir is safe on a stream no other thread uses, as this one is.
    while (const dirent* entry = readdir(listing.get())) {
        struct stat info {};
        const std::string child = folder + "/" + entry->d_name;
        if (stat(child.c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.push_back(Utf8ToUtf16(entry->d_name));
    }
    return names;
}

bool MoveReplacing(std::u16string_view from, std::u16string_view to) noexcept {
    try {
        return std::rename(Utf16ToUtf8(from).c_str(), Utf16ToUtf8(to).c_str()) == 0;
    } catch (...) {
        return false;
    }
}

bool RemoveFile(std::u16string_view path) noexcept {
    try {
        return unlink(Utf16ToUtf8(path).c_str()) == 0 || errno == ENOENT;
    } catch (...) {
        return false;
    }
}

bool SameFile(std::u16string_view a, std::u16string_view b) noexcept {
    try {
        struct stat first {
        }, second{};
        return stat(Utf16ToUtf8(a).c_str(), &first) == 0 && stat(Utf16ToUtf8(b).c_str(), &second) == 0 &&
               first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    } catch (...) {
        return false;
    }
}

InputFile::InputFile(std::u16string_view path) noexcept {
    try {
        handle_ = std::fopen(Utf16ToUtf8(path).c_str(), "rb");
    } catch (...) {
        handle_ = nullptr;
    }
}

// A file only read from loses nothing when its close fails.
void InputFile::ReleaseHandle(void* handle) noexcept { (void)std::fclose(static_cast<std::FILE*>(handle)); }

std::size_t InputFile::Read(void* buffer, std::size_t bytes) noexcept {
    if (handle_ == nullptr) return 0;
    return std::fread(buffer, 1, bytes, static_cast<std::FILE*>(handle_));
}

namespace {

struct DetachedThread {
    void (*work)(void*);
    void* argument;
};

void* RunDetached(void* parameter) {
    const DetachedThread job = *static_cast<DetachedThread*>(parameter);
    std::free(parameter);
    job.work(job.argument);
    return nullptr;
}

}  // namespace

// pthreads directly, with the job in a malloc'd block the thread frees first:
// nothing of the thread is left to free once `work` has returned.
bool StartDetachedThread(void (*work)(void*), void* argument) noexcept {
    auto* job = static_cast<DetachedThread*>(std::malloc(sizeof(DetachedThread)));
    if (job == nullptr) return false;
    *job = DetachedThread{work, argument};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attributes, RunDetached, job);
    pthread_attr_destroy(&attributes);
    if (rc != 0) std::free(job);
    return rc == 0;
}

static_assert(sizeof(pthread_mutex_t) <= 64, "lock storage too small");

RecursiveLock::RecursiveLock() noexcept {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage_) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}

RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(storage_)); }

void RecursiveLock::Lock() noexcept { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage_)); }

void RecursiveLock::Unlock() noexcept { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage_)); }

}  // namespace vellum::platform
