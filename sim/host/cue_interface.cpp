#include "cue_interface.h"

#include <atomic>
#include <cstring>

#include "text.h"
#include "track_source.h"

namespace host {
namespace {

static_assert(sizeof(uintptr_t) == 4, "the host is a 32-bit program");

// The functions in the record take no context, so they reach the one live interface here.
std::atomic<CueInterface*> activeInterface{nullptr};

constexpr int kTitleChars = 1040;

std::string FormatAddress(const void* address) {
    char text[32];
    wsprintfA(text, "0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)));
    return text;
}

}  // namespace

CueInterface::CueInterface(AudioLibrary& audio, HostLog& log) : audio_(audio), log_(log) {
    words_[kCueWordOpen] = reinterpret_cast<uintptr_t>(&OpenEntry);
    words_[kCueWordRelease] = reinterpret_cast<uintptr_t>(&ReleaseEntry);
    words_[kCueWordTitle] = reinterpret_cast<uintptr_t>(&TitleEntry);
    activeInterface.store(this);
}

CueInterface::~CueInterface() {
    activeInterface.store(nullptr);
    ReleaseAll();
}

void CueInterface::Configure(bool present, uint32_t version, bool wideText) {
    present_ = present;
    wideText_ = wideText;
    words_[kCueWordVersion] = version;
    words_[kCueWordTextFlag] = wideText ? 1 : 0;
}

LRESULT CueInterface::Address() const { return present_ ? reinterpret_cast<LRESULT>(words_) : 0; }

size_t CueInterface::Outstanding() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tracks_.size();
}

uint32_t __stdcall CueInterface::OpenEntry(const void* path) {
    CueInterface* self = activeInterface.load();
    return self && path ? self->Open(self->PathArgument(path)) : 0;
}

uint32_t __stdcall CueInterface::ReleaseEntry(void* record) {
    CueInterface* self = activeInterface.load();
    return self ? self->Release(record) : 0;
}

const void* __stdcall CueInterface::TitleEntry(const void* path) {
    CueInterface* self = activeInterface.load();
    return self && path ? self->Title(self->PathArgument(path)) : nullptr;
}

std::wstring CueInterface::PathArgument(const void* path) const {
    if (wideText_) return static_cast<const wchar_t*>(path);
    return WideFromAnsi(static_cast<const char*>(path));
}

uint32_t CueInterface::Open(const std::wstring& path) {
    TrackPathKind kind = ClassifyTrackPath(path);
    if (kind != TrackPathKind::CueTrack && kind != TrackPathKind::HostTrack) return 0;
    if (!audio_.CanDecode()) return 0;
    auto source = ResolveTrackSource(path);
    if (!source) return 0;
    DWORD channel = audio_.streamCreateFile(FALSE, source->audio.c_str(), 0, 0, kDecodeUnicodeFlags);
    if (channel == 0) return 0;
    ByteSpan span = SpanOnChannel(audio_, channel, *source);
    OpenTrack track{std::make_unique<uint8_t[]>(kTrackRecordBytes), channel};
    FillRecord(track.block.get(), channel, span.start, span.length);
    void* address = track.block.get();
    std::lock_guard<std::mutex> lock(mutex_);
    tracks_.emplace(address, std::move(track));
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

void CueInterface::FillRecord(uint8_t* block, DWORD channel, QWORD start, QWORD length) const {
    std::memset(block, 0, kTrackRecordBytes);
    std::memcpy(block, &channel, sizeof channel);
    std::memcpy(block + (wideText_ ? kWideTrackStart : kAnsiTrackStart), &start, sizeof start);
    std::memcpy(block + (wideText_ ? kWideTrackLength : kAnsiTrackLength), &length, sizeof length);
}

uint32_t CueInterface::Release(void* record) {
    OpenTrack track;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = tracks_.find(record);
        if (found == tracks_.end()) {
            log_.Error("cue release of unknown track record " + FormatAddress(record));
            return 0;
        }
        track = std::move(found->second);
        tracks_.erase(found);
    }
    audio_.streamFree(track.channel);
    return 1;
}

const void* CueInterface::Title(const std::wstring& path) {
    // One buffer per encoding and thread: a title stays valid until that thread's next call.
    // Plain arrays, so no thread has anything to destroy when it ends.
    thread_local wchar_t wideTitle[kTitleChars];
    thread_local char ansiTitle[kTitleChars * 2];
    std::wstring title = TrackTitle(path);
    lstrcpynW(wideTitle, title.c_str(), kTitleChars);
    if (wideText_) return wideTitle;
    lstrcpynA(ansiTitle, AnsiFromWide(wideTitle).c_str(), sizeof ansiTitle);
    return ansiTitle;
}

void CueInterface::ReleaseAll() {
    std::map<void*, OpenTrack> tracks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tracks.swap(tracks_);
    }
    for (auto& entry : tracks) {
        if (audio_.streamFree) audio_.streamFree(entry.second.channel);
    }
}

}  // namespace host
