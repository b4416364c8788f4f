// The stand-in BASS: a thread-safe table of channels read by the stand-in's own
// file readers, position and end syncs fired on one sync thread of its own, and
// the SIMBASS_* control surface that moves playing channels in place of a sound
// card. Handles are never reused, so a freed channel's handle stays invalid.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "sim/bass/bass_api.h"
#include "sim/bass/byte_source.h"
#include "sim/bass/media.h"
#include "sim/bass/text_util.h"

namespace simbass {
namespace {

constexpr int kErrorNoPlay = 24;  // BASS_ERROR_NOPLAY
constexpr int kErrorDecode = 38;  // BASS_ERROR_DECODE
constexpr std::uint64_t kFail64 = ~0ull;

thread_local int t_error = SIMBASS_OK;
void SetError(int code) { t_error = code; }

struct Sync {
    std::uint32_t handle;
    std::uint32_t type;  // flags included
    std::uint64_t param;
    SIMBASS_SYNCPROC* proc;
    void* user;
};

struct Channel {
    bool music = false;
    bool active = false;
    bool hasFile = false;
    bool unicode = false;
    bool hasPath = false;
    std::uint32_t flags = 0;
    std::uint64_t position = 0;
    std::uint64_t length = 0;
    std::uint64_t fileSize = 0;
    std::string pathA;
    std::u16string pathW;
    MediaInfo media;
    std::vector<Sync> syncs;

    std::uint64_t BytesPerSecond() const { return static_cast<std::uint64_t>(media.freq) * media.chans * 2; }
    std::uint64_t AudioBytes() const {
        return media.audioEnd > media.audioStart ? media.audioEnd - media.audioStart : 0;
    }
};

struct Job {
    SIMBASS_SYNCPROC* proc;
    std::uint32_t sync;
    std::uint32_t channel;
    std::uint32_t data;
    void* user;
};

// One thread that runs sync callbacks in the order they were queued.
class SyncThread {
public:
    void Post(std::vector<Job> jobs) {
        if (jobs.empty()) return;
        std::lock_guard<std::mutex> lock(mu_);
        if (!started_) {
            std::thread(&SyncThread::Main, this).detach();
            started_ = true;
        }
        for (Job& j : jobs) queue_.push_back(j);
        wake_.notify_one();
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(mu_);
        if (started_ && std::this_thread::get_id() == id_) return;  // called from a callback
        idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
    }

private:
    void Main() {
        std::unique_lock<std::mutex> lock(mu_);
        id_ = std::this_thread::get_id();
        for (;;) {
            wake_.wait(lock, [this] { return !queue_.empty(); });
            Job job = queue_.front();
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            job.proc(job.sync, job.channel, job.data, job.user);
            lock.lock();
            busy_ = false;
            if (queue_.empty()) idle_.notify_all();
        }
    }

    std::mutex mu_;
    std::condition_variable wake_, idle_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool started_ = false;
    std::thread::id id_;
};

class Engine {
public:
    std::mutex mu;
    std::unordered_map<std::uint32_t, std::unique_ptr<Channel>> channels;
    SyncThread syncThread;
    bool initialised = false;
    bool noSound = false;  // BASS_Init chose the "no sound" device: nothing can play

    // Adds a channel and returns its new handle (never 0, never reused).
    std::uint32_t Add(std::unique_ptr<Channel> ch) {
        std::lock_guard<std::mutex> lock(mu);
        do {
            ++nextHandle_;
        } while (nextHandle_ == 0 || channels.count(nextHandle_));
        channels.emplace(nextHandle_, std::move(ch));
        return nextHandle_;
    }
    // The channel of a handle, or null (the error code is then set); call with `mu` held.
    Channel* Find(std::uint32_t handle) {
        auto it = channels.find(handle);
        if (it == channels.end()) {
            SetError(SIMBASS_ERROR_HANDLE);
            return nullptr;
        }
        return it->second.get();
    }
    std::uint32_t NewSyncHandle() {
        if (++nextSync_ == 0) ++nextSync_;
        return nextSync_;
    }

private:
    std::uint32_t nextHandle_ = 0x00010000;
    std::uint32_t nextSync_ = 0;
};

// Created once and never destroyed: the detached sync thread may outlive
// static destruction, and a DLL must not join threads while unloading.
Engine& E() {
    static Engine* engine = new Engine;
    return *engine;
}

bool NoSound() {
    std::lock_guard<std::mutex> lock(E().mu);
    return E().noSound;
}

std::uint32_t CreateChannel(bool music, std::int32_t mem, const void* file, std::uint64_t offset, std::uint64_t length,
                            std::uint32_t flags, std::uint32_t freq) {
    if (!file) {
        SetError(SIMBASS_ERROR_FILEOPEN);
        return 0;
    }
    if (!(flags & SIMBASS_STREAM_DECODE) && NoSound()) {
        SetError(SIMBASS_ERROR_NOTAVAIL);
        return 0;
    }
    auto ch = std::make_unique<Channel>();
    std::unique_ptr<ByteSource> file_source;
    std::unique_ptr<ByteSource> view;
    if (mem) {
        if (length == 0 || length > SIZE_MAX) {
            SetError(SIMBASS_ERROR_ILLPARAM);
            return 0;
        }
        view = std::make_unique<MemorySource>(static_cast<const std::uint8_t*>(file) + offset,
                                              static_cast<std::size_t>(length));
    } else {
        ch->unicode = (flags & SIMBASS_UNICODE) != 0;
        if (ch->unicode) {
            const auto* path = static_cast<const char16_t*>(file);
            ch->pathW.assign(path, Utf16Length(path, 1u << 16));
            file_source = OpenFileSource(ch->pathW.c_str());
        } else {
            const auto* path = static_cast<const char*>(file);
            std::size_t n = 0;
            while (n < (1u << 16) && path[n]) ++n;
            ch->pathA.assign(path, n);
            file_source = OpenFileSource(ch->pathA.c_str());
        }
        ch->hasPath = true;
        if (!file_source) {
            SetError(SIMBASS_ERROR_FILEOPEN);
            return 0;
        }
        view = std::make_unique<WindowSource>(*file_source, offset, length);
    }
    int error = music ? ReadMusic(*view, freq, &ch->media) : ReadStream(*view, &ch->media);
    if (error != SIMBASS_OK) {
        SetError(error);
        return 0;
    }
    ch->music = music;
    ch->flags = flags;
    ch->hasFile = true;
    ch->fileSize = view->Size();
    ch->length = ch->media.frames * ch->media.chans * 2;
    ch->active = (flags & SIMBASS_STREAM_DECODE) != 0;  // decoding channels are active at once
    SetError(SIMBASS_OK);
    return E().Add(std::move(ch));
}

std::vector<Job> TakeSyncs(std::uint32_t handle, Channel* ch, std::uint32_t type, std::uint64_t from,
                           std::uint64_t to) {
    std::vector<Job> jobs;
    std::vector<Sync> kept;
    std::vector<Sync> fired;
    for (const Sync& s : ch->syncs) {
        const std::uint32_t base = s.type & 0x00FFFFFFu;
        bool fire = base == type && (type != SIMBASS_SYNC_POS || (s.param > from && s.param <= to));
        if (fire) fired.push_back(s);
        if (!fire || !(s.type & SIMBASS_SYNC_ONETIME)) kept.push_back(s);
    }
    if (type == SIMBASS_SYNC_POS) {
        std::stable_sort(fired.begin(), fired.end(), [](const Sync& a, const Sync& b) { return a.param < b.param; });
    }
    for (const Sync& s : fired) jobs.push_back(Job{s.proc, s.handle, handle, 0, s.user});
    ch->syncs.swap(kept);
    return jobs;
}

// Moves a channel's position to `bytes` (clamped to its length) and takes the
// syncs that this passes: position syncs with old < param <= new in order of
// position, then the end syncs when the length is reached (the channel stops).
std::vector<Job> MoveTo(std::uint32_t handle, Channel* ch, std::uint64_t bytes) {
    std::vector<Job> jobs;
    if (bytes > ch->length) bytes = ch->length;
    const std::uint64_t old = ch->position;
    ch->position = bytes;
    if (bytes > old) jobs = TakeSyncs(handle, ch, SIMBASS_SYNC_POS, old, bytes);
    if (bytes >= ch->length) {
        std::vector<Job> end = TakeSyncs(handle, ch, SIMBASS_SYNC_END, 0, 0);
        jobs.insert(jobs.end(), end.begin(), end.end());
        ch->active = false;
    }
    return jobs;
}

// BASS_ChannelGetData on a decoding channel: the bytes handed out (16-bit or
// float samples) and the syncs passed, which the caller runs on its thread.
std::uint32_t Decode(std::uint32_t handle, Channel* ch, void* buffer, std::uint32_t length, std::vector<Job>* jobs) {
    const std::uint32_t sampleBytes = (length & SIMBASS_DATA_FLOAT) ? 4 : 2;
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(ch->media.chans) * sampleBytes;
    const std::uint64_t wanted = (length & 0x0FFFFFFFu) / frameBytes;
    const std::uint64_t left = (ch->length - ch->position) / (ch->media.chans * 2ull);
    const std::uint64_t frames = std::min(wanted, left);
    if (buffer != nullptr) std::memset(buffer, 0, static_cast<std::size_t>(frames * frameBytes));
    *jobs = MoveTo(handle, ch, ch->position + frames * ch->media.chans * 2);
    return static_cast<std::uint32_t>(frames * frameBytes);
}

void RunHere(const std::vector<Job>& jobs) {
    for (const Job& j : jobs) j.proc(j.sync, j.channel, j.data, j.user);
}

enum class FreeKind { kStream, kMusic, kAny };

// Frees a channel of the kind asked for; the real library's BASS_StreamFree
// refuses a music (HANDLE) and keeps it loaded, and BASS_MusicFree a stream.
std::int32_t FreeChannel(std::uint32_t handle, FreeKind kind) {
    Engine& e = E();
    std::vector<Job> jobs;
    {
        std::lock_guard<std::mutex> lock(e.mu);
        Channel* ch = e.Find(handle);
        if (!ch) return 0;
        if ((kind == FreeKind::kStream && ch->music) || (kind == FreeKind::kMusic && !ch->music)) {
            SetError(SIMBASS_ERROR_HANDLE);
            return 0;
        }
        jobs = TakeSyncs(handle, ch, SIMBASS_SYNC_FREE, 0, 0);
        e.channels.erase(handle);
    }
    e.syncThread.Post(std::move(jobs));
    SetError(SIMBASS_OK);
    return 1;
}

// A byte count of the channel (its length or its position); bytes are the only mode.
std::uint64_t ByteCount(std::uint32_t handle, std::uint32_t mode, std::uint64_t Channel::*field) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    Channel* ch = e.Find(handle);
    if (!ch) return kFail64;
    if (mode != SIMBASS_POS_BYTE) {
        SetError(SIMBASS_ERROR_NOTAVAIL);
        return kFail64;
    }
    SetError(SIMBASS_OK);
    return ch->*field;
}

}  // namespace
}  // namespace simbass

using simbass::ByteCount;
using simbass::E;
using simbass::SetError;

extern "C" {

std::uint32_t SIMBASS_API BASS_GetVersion(void) { return 0x02040701; }

std::int32_t SIMBASS_API BASS_ErrorGetCode(void) { return simbass::t_error; }

std::int32_t SIMBASS_API BASS_Init(std::int32_t device, std::uint32_t, std::uint32_t, void*, const void*) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    if (e.initialised) {
        SetError(SIMBASS_ERROR_ALREADY);
        return 0;
    }
    e.initialised = true;
    e.noSound = device == SIMBASS_DEVICE_NOSOUND;
    SetError(SIMBASS_OK);
    return 1;
}

std::int32_t SIMBASS_API BASS_Free(void) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    if (!e.initialised) {
        SetError(SIMBASS_ERROR_INIT);
        return 0;
    }
    e.initialised = false;
    e.noSound = false;
    SetError(SIMBASS_OK);
    return 1;
}

std::uint32_t SIMBASS_API BASS_StreamCreateFile(std::int32_t mem, const void* file, std::uint64_t offset,
                                                std::uint64_t length, std::uint32_t flags) {
    return simbass::CreateChannel(false, mem, file, offset, length, flags, 0);
}

std::uint32_t SIMBASS_API BASS_MusicLoad(std::int32_t mem, const void* file, std::uint64_t offset, std::uint32_t length,
                                         std::uint32_t flags, std::uint32_t freq) {
    return simbass::CreateChannel(true, mem, file, offset, length, flags, freq);
}

std::int32_t SIMBASS_API BASS_StreamFree(std::uint32_t handle) {
    return simbass::FreeChannel(handle, simbass::FreeKind::kStream);
}
std::int32_t SIMBASS_API BASS_MusicFree(std::uint32_t handle) {
    return simbass::FreeChannel(handle, simbass::FreeKind::kMusic);
}
std::int32_t SIMBASS_API BASS_ChannelFree(std::uint32_t handle) {
    return simbass::FreeChannel(handle, simbass::FreeKind::kAny);
}

std::int32_t SIMBASS_API BASS_ChannelGetInfo(std::uint32_t handle, BASS_CHANNELINFO* info) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return 0;
    if (!info) {
        SetError(SIMBASS_ERROR_ILLPARAM);
        return 0;
    }
    info->freq = ch->media.freq;
    info->chans = ch->media.chans;
    // A music keeps its loading flags without BASS_UNICODE, as the real library
    // reports them, and names no file.
    info->flags = ch->music ? ch->flags & ~SIMBASS_UNICODE : ch->flags;
    info->ctype = ch->media.ctype;
    info->origres = ch->media.origres;
    info->plugin = 0;
    info->sample = 0;
    info->filename = !ch->hasPath || ch->music ? nullptr
                     : ch->unicode             ? reinterpret_cast<const char*>(ch->pathW.c_str())
                                               : ch->pathA.c_str();
    SetError(SIMBASS_OK);
    return 1;
}

const char* SIMBASS_API BASS_ChannelGetTags(std::uint32_t handle, std::uint32_t tags) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return nullptr;
    const simbass::MediaInfo& m = ch->media;
    const char* result = nullptr;
    switch (tags) {
        case SIMBASS_TAG_ID3:
            if (!m.id3v1.empty()) result = reinterpret_cast<const char*>(m.id3v1.data());
            break;
        case SIMBASS_TAG_ID3V2:
            if (!m.id3v2.empty()) result = reinterpret_cast<const char*>(m.id3v2.data());
            break;
        case SIMBASS_TAG_OGG:
            if (!m.vorbis.empty()) result = m.vorbis.c_str();
            break;
        case SIMBASS_TAG_RIFF_INFO:
            if (!m.riffInfo.empty()) result = m.riffInfo.c_str();
            break;
        case SIMBASS_TAG_MUSIC_NAME:
            if (ch->music) result = m.musicName.c_str();
            break;
        default: break;
    }
    SetError(result ? SIMBASS_OK : SIMBASS_ERROR_NOTAVAIL);
    return result;
}

std::uint64_t SIMBASS_API BASS_ChannelGetLength(std::uint32_t handle, std::uint32_t mode) {
    {
        // As in the real library, a module's length in bytes is known only when
        // it was loaded with the prescan flag; playback still ends at its end.
        auto& e = E();
        std::lock_guard<std::mutex> lock(e.mu);
        simbass::Channel* ch = e.Find(handle);
        if (ch && ch->music && !(ch->flags & SIMBASS_MUSIC_PRESCAN)) {
            SetError(SIMBASS_ERROR_NOTAVAIL);
            return simbass::kFail64;
        }
    }
    return ByteCount(handle, mode, &simbass::Channel::length);
}

std::uint64_t SIMBASS_API BASS_ChannelGetPosition(std::uint32_t handle, std::uint32_t mode) {
    return ByteCount(handle, mode, &simbass::Channel::position);
}

double SIMBASS_API BASS_ChannelBytes2Seconds(std::uint32_t handle, std::uint64_t pos) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return -1.0;
    std::uint64_t bps = ch->BytesPerSecond();
    if (bps == 0) {
        SetError(SIMBASS_ERROR_NOTAVAIL);
        return -1.0;
    }
    SetError(SIMBASS_OK);
    return static_cast<double>(pos) / static_cast<double>(bps);
}

std::uint64_t SIMBASS_API BASS_ChannelSeconds2Bytes(std::uint32_t handle, double secs) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return simbass::kFail64;
    if (!(secs >= 0) || secs > 1e12) {
        SetError(SIMBASS_ERROR_ILLPARAM);
        return simbass::kFail64;
    }
    // Whole frames, rounded down (a hair of tolerance keeps 1/75 s steps exact).
    std::uint64_t frames = static_cast<std::uint64_t>(std::floor(secs * ch->media.freq + 1e-6));
    SetError(SIMBASS_OK);
    return frames * ch->media.chans * 2;
}

std::uint64_t SIMBASS_API BASS_StreamGetFilePosition(std::uint32_t handle, std::uint32_t mode) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return simbass::kFail64;
    if (ch->music) {  // as in BASS: a music is no stream
        SetError(SIMBASS_ERROR_HANDLE);
        return simbass::kFail64;
    }
    if (!ch->hasFile) {
        SetError(SIMBASS_ERROR_NOTFILE);
        return simbass::kFail64;
    }
    SetError(SIMBASS_OK);
    switch (mode) {
        case SIMBASS_FILEPOS_CURRENT: {
            const std::uint64_t start = ch->media.audioStart;
            if (ch->length == 0) return start;
            return start +
                   static_cast<std::uint64_t>(static_cast<double>(ch->AudioBytes()) * ch->position / ch->length);
        }
        // The real library counts the audio data alone: headers, leading and
        // trailing tags and an MP3's Xing/Info frame are outside it.
        case SIMBASS_FILEPOS_DOWNLOAD:
        case SIMBASS_FILEPOS_END: return ch->AudioBytes();
        case SIMBASS_FILEPOS_SIZE: return ch->fileSize;
        case SIMBASS_FILEPOS_START: return ch->media.audioStart;
        default: SetError(SIMBASS_ERROR_ILLTYPE); return simbass::kFail64;
    }
}

std::uint32_t SIMBASS_API BASS_ChannelSetSync(std::uint32_t handle, std::uint32_t type, std::uint64_t param,
                                              SIMBASS_SYNCPROC* proc, void* user) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return 0;
    if (!proc) {
        SetError(SIMBASS_ERROR_ILLPARAM);
        return 0;
    }
    simbass::Sync s{e.NewSyncHandle(), type, param, proc, user};
    ch->syncs.push_back(s);
    SetError(SIMBASS_OK);
    return s.handle;
}

std::int32_t SIMBASS_API BASS_ChannelRemoveSync(std::uint32_t handle, std::uint32_t sync) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return 0;
    for (auto it = ch->syncs.begin(); it != ch->syncs.end(); ++it) {
        if (it->handle == sync) {
            ch->syncs.erase(it);
            SetError(SIMBASS_OK);
            return 1;
        }
    }
    SetError(SIMBASS_ERROR_HANDLE);
    return 0;
}

std::uint32_t SIMBASS_API BASS_ChannelIsActive(std::uint32_t handle) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return SIMBASS_ACTIVE_STOPPED;
    SetError(SIMBASS_OK);
    return ch->active ? SIMBASS_ACTIVE_PLAYING : SIMBASS_ACTIVE_STOPPED;
}

std::int32_t SIMBASS_API BASS_ChannelPlay(std::uint32_t handle, std::int32_t restart) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return 0;
    if (ch->flags & SIMBASS_STREAM_DECODE) {
        SetError(simbass::kErrorDecode);
        return 0;
    }
    if (restart || ch->position >= ch->length) ch->position = 0;
    ch->active = true;
    SetError(SIMBASS_OK);
    return 1;
}

std::int32_t SIMBASS_API BASS_ChannelStop(std::uint32_t handle) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (!ch) return 0;
    ch->active = false;
    SetError(SIMBASS_OK);
    return 1;
}

std::uint32_t SIMBASS_API BASS_ChannelGetData(std::uint32_t handle, void* buffer, std::uint32_t length) {
    auto& e = E();
    std::vector<simbass::Job> jobs;
    std::uint32_t done = 0;
    {
        std::lock_guard<std::mutex> lock(e.mu);
        simbass::Channel* ch = e.Find(handle);
        if (!ch) return ~0u;
        if (ch->media.chans == 0 || (length & ~(SIMBASS_DATA_FLOAT | 0x0FFFFFFFu))) {
            SetError(SIMBASS_ERROR_NOTAVAIL);  // no samples, or an FFT or level request
            return ~0u;
        }
        if (!(ch->flags & SIMBASS_STREAM_DECODE)) {
            const std::uint32_t n = length & 0x0FFFFFFFu;
            if (buffer != nullptr) std::memset(buffer, 0, n);
            SetError(SIMBASS_OK);
            return n;
        }
        if (ch->position >= ch->length) {
            SetError(SIMBASS_ERROR_ENDED);
            return ~0u;
        }
        done = simbass::Decode(handle, ch, buffer, length, &jobs);
    }
    // As the real library does for a decoding channel: syncs run in the thread
    // that decodes, before the data is handed back.
    simbass::RunHere(jobs);
    SetError(SIMBASS_OK);
    return done;
}

std::uint32_t SIMBASS_API SIMBASS_LoadedMusics(void) {
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    std::uint32_t n = 0;
    for (const auto& entry : e.channels) n += entry.second->music ? 1 : 0;
    return n;
}

std::uint32_t SIMBASS_API SIMBASS_PlayFile(const simbass_char16* path) {
    const std::uint32_t flags = SIMBASS_UNICODE;
    std::uint32_t handle = BASS_StreamCreateFile(0, path, 0, 0, flags);
    // A player needs the module's length for its position display and its end.
    if (!handle) handle = BASS_MusicLoad(0, path, 0, 0, flags | SIMBASS_MUSIC_PRESCAN, 0);
    if (!handle) return 0;
    auto& e = E();
    std::lock_guard<std::mutex> lock(e.mu);
    simbass::Channel* ch = e.Find(handle);
    if (ch) ch->active = true;
    return handle;
}

std::uint32_t SIMBASS_API SIMBASS_PlayUrl(const simbass_char16* url, double seconds) {
    auto ch = std::make_unique<simbass::Channel>();
    if (url) {
        ch->pathW.assign(url, simbass::Utf16Length(url, 1u << 16));
        ch->hasPath = true;
    }
    ch->unicode = true;
    ch->flags = SIMBASS_UNICODE;
    ch->media.freq = 44100;
    ch->media.chans = 2;
    ch->media.ctype = SIMBASS_CTYPE_STREAM_MP3;
    if (seconds > 0 && seconds < 1e9) ch->media.frames = static_cast<std::uint64_t>(std::floor(seconds * 44100 + 1e-6));
    ch->length = ch->media.frames * 4;
    ch->active = true;
    SetError(SIMBASS_OK);
    return E().Add(std::move(ch));
}

std::int32_t SIMBASS_API SIMBASS_SetPosition(std::uint32_t channel, std::uint64_t bytes) {
    auto& e = E();
    std::vector<simbass::Job> jobs;
    {
        std::lock_guard<std::mutex> lock(e.mu);
        simbass::Channel* ch = e.Find(channel);
        if (!ch) return 0;
        if (!ch->active) {
            SetError(simbass::kErrorNoPlay);
            return 0;
        }
        jobs = simbass::MoveTo(channel, ch, bytes);
    }
    e.syncThread.Post(std::move(jobs));
    SetError(SIMBASS_OK);
    return 1;
}

std::int32_t SIMBASS_API SIMBASS_Stop(std::uint32_t channel) { return BASS_ChannelStop(channel); }

void SIMBASS_API SIMBASS_WaitSyncs(void) { E().syncThread.Wait(); }

}  // extern "C"
