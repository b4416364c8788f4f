// A minimal audio library for the host's own tests, standing in for the project's
// stand-in until that one is there: every file is 16-bit stereo PCM at 44100 Hz, its
// byte length the size of a canonical WAV file's data chunk, or else the file's size;
// a URL lasts the seconds it is played for. Position
// syncs (type 0) fire when a move crosses their position, end syncs (type 2) when a
// move reaches the end, on a thread of their own.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

using QWORD = uint64_t;
using SyncProc = void(__stdcall*)(DWORD sync, DWORD channel, DWORD data, void* user);

constexpr double kBytesPerSecond = 44100.0 * 4;
constexpr DWORD kUnicodeFlag = 0x80000000;
constexpr DWORD kSyncPosition = 0;
constexpr DWORD kSyncEnd = 2;

struct Sync {
    DWORD handle;
    DWORD type;
    QWORD position;
    SyncProc proc;
    void* user;
};

struct Channel {
    QWORD length = 0;
    QWORD position = 0;
    std::vector<Sync> syncs;
};

struct Firing {
    Sync sync;
    DWORD channel;
};

std::mutex lock;
std::map<DWORD, Channel> channels;
std::vector<HANDLE> firingThreads;
DWORD nextHandle = 0x10001;

QWORD Align(QWORD bytes) { return bytes & ~static_cast<QWORD>(3); }

DWORD AddChannel(QWORD length) {
    std::lock_guard<std::mutex> guard(lock);
    DWORD handle = nextHandle++;
    channels[handle].length = Align(length);
    return handle;
}

// The data chunk of a canonical 44-byte WAV header, or the whole file.
QWORD AudioBytes(HANDLE file) {
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    unsigned char header[44] = {};
    DWORD read = 0;
    ReadFile(file, header, sizeof header, &read, nullptr);
    if (read == sizeof header && std::memcmp(header, "RIFF", 4) == 0 &&
        std::memcmp(header + 8, "WAVE", 4) == 0 && std::memcmp(header + 36, "data", 4) == 0) {
        uint32_t data;
        std::memcpy(&data, header + 40, sizeof data);
        return data;
    }
    return static_cast<QWORD>(size.QuadPart);
}

DWORD OpenFile(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    QWORD bytes = AudioBytes(file);
    CloseHandle(file);
    return AddChannel(bytes);
}

DWORD WINAPI FireSyncs(void* parameter) {
    auto* firings = static_cast<std::vector<Firing>*>(parameter);
    for (const Firing& firing : *firings) {
        firing.sync.proc(firing.sync.handle, firing.channel, 0, firing.sync.user);
    }
    delete firings;
    return 0;
}

std::vector<Firing> CrossedSyncs(DWORD handle, const Channel& channel, QWORD from, QWORD to) {
    std::vector<Firing> crossed;
    for (const Sync& sync : channel.syncs) {
        bool position = sync.type == kSyncPosition && from < sync.position && sync.position <= to;
        bool end = sync.type == kSyncEnd && to >= channel.length && from < channel.length;
        if (position || end) crossed.push_back({sync, handle});
    }
    return crossed;
}

}  // namespace

extern "C" {

DWORD __stdcall BASS_StreamCreateFile(BOOL memory, const void* file, QWORD, QWORD, DWORD flags) {
    if (memory || file == nullptr || !(flags & kUnicodeFlag)) return 0;
    return OpenFile(static_cast<const wchar_t*>(file));
}

BOOL __stdcall BASS_StreamFree(DWORD handle) {
    std::lock_guard<std::mutex> guard(lock);
    return channels.erase(handle) != 0;
}

QWORD __stdcall BASS_ChannelGetLength(DWORD handle, DWORD) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = channels.find(handle);
    return found == channels.end() ? static_cast<QWORD>(-1) : found->second.length;
}

double __stdcall BASS_ChannelBytes2Seconds(DWORD, QWORD bytes) {
    return static_cast<double>(bytes) / kBytesPerSecond;
}

QWORD __stdcall BASS_ChannelSeconds2Bytes(DWORD, double seconds) {
    return Align(static_cast<QWORD>(seconds * kBytesPerSecond));
}

DWORD __stdcall BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD position, SyncProc proc, void* user) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = channels.find(handle);
    if (found == channels.end() || proc == nullptr) return 0;
    DWORD sync = nextHandle++;
    found->second.syncs.push_back({sync, type, position, proc, user});
    return sync;
}

DWORD __stdcall SIMBASS_PlayFile(const wchar_t* path) { return path ? OpenFile(path) : 0; }

DWORD __stdcall SIMBASS_PlayUrl(const wchar_t* url, double seconds) {
    return url ? AddChannel(static_cast<QWORD>(seconds * kBytesPerSecond)) : 0;
}

BOOL __stdcall SIMBASS_SetPosition(DWORD handle, QWORD position) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = channels.find(handle);
    if (found == channels.end()) return FALSE;
    Channel& channel = found->second;
    QWORD target = position < channel.length ? position : channel.length;
    auto* crossed = new std::vector<Firing>(CrossedSyncs(handle, channel, channel.position, target));
    channel.position = target;
    HANDLE thread = crossed->empty() ? nullptr : CreateThread(nullptr, 0, &FireSyncs, crossed, 0, nullptr);
    if (thread == nullptr) {
        delete crossed;
    } else {
        firingThreads.push_back(thread);
    }
    return TRUE;
}

BOOL __stdcall SIMBASS_Stop(DWORD handle) {
    std::lock_guard<std::mutex> guard(lock);
    return channels.erase(handle) != 0;
}

void __stdcall SIMBASS_WaitSyncs() {
    std::vector<HANDLE> threads;
    {
        std::lock_guard<std::mutex> guard(lock);
        threads.swap(firingThreads);
    }
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

}  // extern "C"
