// The audio-library entry points the plugin uses, bound by name at start-up (on
// Windows from bass.dll and Plugins\bass\tags.dll). A null entry is unbound;
// every caller tests before calling. Beside the nine that probing and play
// statistics need, BASS_MusicFree releases what BASS_MusicLoad loaded: the
// library refuses a music handle in BASS_StreamFree and keeps the module.
#pragma once

#include <cstdint>

#include "vellumdb.h"

namespace vellum {

using AudioHandle = std::uint32_t;  // a stream, music or sync handle
using AudioBool = std::int32_t;

// The channel information record: eight 32-bit fields on the 32-bit target.
struct AudioChannelInfo {
    std::uint32_t freq;
    std::uint32_t chans;
    std::uint32_t flags;
    std::uint32_t ctype;
    std::uint32_t origres;
    std::uint32_t plugin;
    std::uint32_t sample;
    const char* filename;
};

typedef void(__stdcall* AudioSyncProc)(AudioHandle sync, AudioHandle channel, std::uint32_t data, void* user);

typedef AudioHandle(__stdcall* StreamCreateFileFn)(AudioBool mem, const void* file, std::uint64_t offset,
                                                   std::uint64_t length, std::uint32_t flags);
typedef AudioHandle(__stdcall* MusicLoadFn)(AudioBool mem, const void* file, std::uint64_t offset, std::uint32_t length,
                                            std::uint32_t flags, std::uint32_t freq);
typedef AudioBool(__stdcall* StreamFreeFn)(AudioHandle handle);
typedef AudioBool(__stdcall* MusicFreeFn)(AudioHandle handle);
typedef AudioBool(__stdcall* ChannelGetInfoFn)(AudioHandle handle, AudioChannelInfo* info);
typedef std::uint64_t(__stdcall* ChannelGetLengthFn)(AudioHandle handle, std::uint32_t mode);
typedef double(__stdcall* ChannelBytes2SecondsFn)(AudioHandle handle, std::uint64_t position);
typedef std::uint64_t(__stdcall* StreamGetFilePositionFn)(AudioHandle handle, std::uint32_t mode);
typedef AudioHandle(__stdcall* ChannelSetSyncFn)(AudioHandle handle, std::uint32_t type, std::uint64_t param,
                                                 AudioSyncProc proc, void* user);
typedef const char*(__stdcall* TagsReadFn)(AudioHandle handle, const char* format);

// Flags and modes the plugin passes.
constexpr std::uint32_t kAudioUnicode = 0x80000000u;
constexpr std::uint32_t kAudioDecode = 0x00200000u;
constexpr std::uint32_t kAudioPositionBytes = 0;
constexpr std::uint32_t kAudioFilePositionEnd = 2;
constexpr std::uint32_t kAudioSyncPosition = 0;
constexpr std::uint32_t kAudioSyncEnd = 2;

struct AudioLibrary {
    StreamCreateFileFn StreamCreateFile = nullptr;
    MusicLoadFn MusicLoad = nullptr;
    StreamFreeFn StreamFree = nullptr;
    MusicFreeFn MusicFree = nullptr;
    ChannelGetInfoFn ChannelGetInfo = nullptr;
    ChannelGetLengthFn ChannelGetLength = nullptr;
    ChannelBytes2SecondsFn ChannelBytes2Seconds = nullptr;
    StreamGetFilePositionFn StreamGetFilePosition = nullptr;
    ChannelSetSyncFn ChannelSetSync = nullptr;
    TagsReadFn TagsRead = nullptr;
};

}  // namespace vellum
