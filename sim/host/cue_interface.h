// The host's cue interface: a record of 32-bit words that plugins obtain with query
// 1112/108. Word 1 is the version, word 2 the text flag (non-zero: UTF-16 texts, zero:
// ANSI), word 3 opens a track, word 4 releases it, word 7 gives a display title.
// Opening resolves cue tracks ("sheet.cue/N") and host tracks ("file/anything") into a
// host-owned track record that holds a decoding channel on the audio file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "audio_library.h"
#include "host_log.h"

namespace host {

// Track record layouts, by text flag.
constexpr size_t kWideTrackStart = 1048;
constexpr size_t kWideTrackLength = 1056;
constexpr size_t kAnsiTrackStart = 528;
constexpr size_t kAnsiTrackLength = 536;
constexpr size_t kTrackRecordBytes = 1064;

constexpr size_t kCueWordVersion = 1;
constexpr size_t kCueWordTextFlag = 2;
constexpr size_t kCueWordOpen = 3;
constexpr size_t kCueWordRelease = 4;
constexpr size_t kCueWordTitle = 7;
constexpr size_t kCueWordCount = 16;

using CueOpenFn = uint32_t(__stdcall*)(const void* path);
using CueReleaseFn = uint32_t(__stdcall*)(void* record);
using CueTitleFn = const void*(__stdcall*)(const void* path);

class CueInterface {
public:
    CueInterface(AudioLibrary& audio, HostLog& log);
    ~CueInterface();
    CueInterface(const CueInterface&) = delete;
    CueInterface& operator=(const CueInterface&) = delete;

    void Configure(bool present, uint32_t version, bool wideText);
    // The answer to query 1112/108: the record's address, or 0.
    LRESULT Address() const;
    // Track records handed out and not yet released.
    size_t Outstanding();

private:
    static uint32_t __stdcall OpenEntry(const void* path);
    static uint32_t __stdcall ReleaseEntry(void* record);
    static const void* __stdcall TitleEntry(const void* path);

    std::wstring PathArgument(const void* path) const;
    uint32_t Open(const std::wstring& path);
    uint32_t Release(void* record);
    const void* Title(const std::wstring& path);
    void FillRecord(uint8_t* block, DWORD channel, QWORD start, QWORD length) const;
    void ReleaseAll();

    struct OpenTrack {
        std::unique_ptr<uint8_t[]> block;
        DWORD channel;
    };

    AudioLibrary& audio_;
    HostLog& log_;
    bool present_ = true;
    bool wideText_ = true;
    uintptr_t words_[kCueWordCount] = {};
    std::mutex mutex_;
    std::map<void*, OpenTrack> tracks_;
};

}  // namespace host
