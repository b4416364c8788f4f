// Fakes for the probing tests: an audio library whose files and channels the
// test describes, and a host cue interface that knows a few virtual tracks.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/seam.h"
#include "platform/test_hooks.h"
#include "probe/audio_library.h"
#include "probe/host_cue.h"

namespace vellum::testing {

struct FakeChannel {
    std::uint32_t type = 0x10900, freq = 44100, chans = 2;
    std::uint64_t lengthBytes = 1000;
    double seconds = 200.0;  // of lengthBytes; other byte counts are proportional
    std::uint64_t fileEnd = 4000000;
    std::map<std::string, std::string> tags;  // keyed by TAGS format string
};

struct FakeFile {
    FakeChannel channel;
    bool stream = true;  // false: only the module loader opens it
};

// A stream of the given length whose one tag is its album.
inline FakeFile AlbumFile(const std::string& album, double seconds) {
    FakeFile file;
    file.channel.seconds = seconds;
    file.channel.tags["%IFV2(%ALBM,%UTF8(%ALBM),)"] = album;
    return file;
}

// The entry points are plain functions, so the state is one guarded instance.
// Like the real library they never throw: fault injection pauses inside them.
class FakeAudio {
public:
    static FakeAudio& Instance() {
        static FakeAudio instance;
        return instance;
    }
    void Reset() {
        std::lock_guard<std::mutex> hold(mutex_);
        files_.clear();
        channels_.clear();
        modules_.clear();
        opened = freed = tagReads = 0;
        lastFlags = 0;
        formatsAsked.clear();
    }
    AudioLibrary Bound() const {
        AudioLibrary audio;
        audio.StreamCreateFile = [](AudioBool, const void* file, std::uint64_t, std::uint64_t, std::uint32_t flags) {
            return Instance().Open(file, flags, false);
        };
        audio.MusicLoad = [](AudioBool, const void* file, std::uint64_t, std::uint32_t, std::uint32_t flags,
                             std::uint32_t) { return Instance().Open(file, flags, true); };
        audio.StreamFree = [](AudioHandle handle) { return Instance().Free(handle, false); };
        audio.MusicFree = [](AudioHandle handle) { return Instance().Free(handle, true); };
        audio.ChannelGetInfo = [](AudioHandle handle, AudioChannelInfo* info) {
            FakeChannel c = Instance().Channel(handle);
            *info = AudioChannelInfo{c.freq, c.chans, 0, c.type, 0, 0, 0, nullptr};
            return AudioBool{1};
        };
        audio.ChannelGetLength = [](AudioHandle handle, std::uint32_t) {
            return Instance().Channel(handle).lengthBytes;
        };
        audio.ChannelBytes2Seconds = [](AudioHandle handle, std::uint64_t bytes) {
            FakeChannel c = Instance().Channel(handle);
            return c.lengthBytes == 0 ? 0.0
                                      : c.seconds * static_cast<double>(bytes) / static_cast<double>(c.lengthBytes);
        };
        audio.StreamGetFilePosition = [](AudioHandle handle, std::uint32_t) {
            return Instance().Channel(handle).fileEnd;
        };
        audio.TagsRead = [](AudioHandle handle, const char* format) { return Instance().Tag(handle, format); };
        return audio;
    }
    void AddFile(const std::u16string& path, const FakeFile& file) {
        std::lock_guard<std::mutex> hold(mutex_);
        files_[path] = file;
    }
    // A channel that already exists, as the host's playing channel does.
    AudioHandle AddChannel(const FakeChannel& channel) {
        std::lock_guard<std::mutex> hold(mutex_);
        channels_[++lastHandle_] = channel;
        return lastHandle_;
    }

    std::atomic<int> opened{0}, freed{0}, tagReads{0};
    std::uint32_t lastFlags = 0;
    std::vector<std::string> formatsAsked;

private:
    AudioHandle Open(const void* file, std::uint32_t flags, bool module) {
        const platform::HeapFaultPause pause;  // a C library: its allocations never throw
        std::lock_guard<std::mutex> hold(mutex_);
        lastFlags = flags;
        auto found = files_.find(static_cast<const char16_t*>(file));
        if (found == files_.end() || found->second.stream == module) return 0;
        ++opened;
        channels_[++lastHandle_] = found->second.channel;
        if (module) modules_.insert(lastHandle_);
        return lastHandle_;
    }
    // As the library does, each free call takes only its own kind of handle:
    // a module handed to the stream call is refused and stays loaded.
    AudioBool Free(AudioHandle handle, bool module) {
        const platform::HeapFaultPause pause;  // a C library: its allocations never throw
        std::lock_guard<std::mutex> hold(mutex_);
        if (modules_.count(handle) != (module ? 1u : 0u)) return 0;
        modules_.erase(handle);
        freed += static_cast<int>(channels_.erase(handle));
        return 1;
    }
    FakeChannel Channel(AudioHandle handle) {
        const platform::HeapFaultPause pause;  // a C library: its allocations never throw
        std::lock_guard<std::mutex> hold(mutex_);
        return channels_[handle];
    }
    const char* Tag(AudioHandle handle, const char* format) {
        const platform::HeapFaultPause pause;  // a C library: its allocations never throw
        std::lock_guard<std::mutex> hold(mutex_);
        ++tagReads;
        formatsAsked.push_back(format);
        auto& tags = channels_[handle].tags;
        auto tag = tags.find(format);
        return tag == tags.end() ? nullptr : tag->second.c_str();
    }

    std::mutex mutex_;
    std::map<std::u16string, FakeFile> files_;
    std::map<AudioHandle, FakeChannel> channels_;
    std::set<AudioHandle> modules_;
    AudioHandle lastHandle_ = 0x1000;
};

// The host's cue interface: knows the tracks and titles the test gives it.
class FakeHostCue : public HostCue {
public:
    explicit FakeHostCue(bool wideText) : wideText_(wideText) {}
    bool WideText() const noexcept override { return wideText_; }
    const void* OpenTrack(void* path) noexcept override {
        const platform::HeapFaultPause pause;  // a C library: its allocations never throw
        ++opens;
        auto found = tracks.find(Decode(path));
        return found == tracks.end() ? nullptr : &found->second;
    }
    void ReleaseTrack(const void*) noexcept override { ++releases; }
    const void* Title(void* path) noexcept override {
        const platform::HeapFaultPause pause;  // a C library: its allocations never throw
        ++titleCalls;
        auto found = titles.find(Decode(path));
        if (found == titles.end()) return nullptr;
        if (wideText_) return found->second.c_str();
        ansiTitle_ = platform::WideToAnsi(found->second);
        return ansiTitle_.c_str();
    }
    CueTrackInfo ReadTrack(const void* record) const noexcept override {
        return *static_cast<const CueTrackInfo*>(record);
    }

    std::map<std::u16string, CueTrackInfo> tracks;
    std::map<std::u16string, std::u16string> titles;
    int opens = 0, releases = 0, titleCalls = 0;
    std::u16string lastPath;
    std::string lastAnsiPath;  // the bytes an ANSI host was handed

private:
    std::u16string Decode(void* path) {
        if (!wideText_) lastAnsiPath = static_cast<const char*>(path);
        lastPath = wideText_ ? static_cast<const char16_t*>(path) : platform::AnsiToWide(lastAnsiPath);
        return lastPath;
    }

    bool wideText_;
    std::string ansiTitle_;
};

}  // namespace vellum::testing
