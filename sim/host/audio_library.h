// The audio library the host plays through: bass.dll from the host's folder, loaded at
// start so that plugins find it among the process's modules. The host binds the few
// entry points it uses by name; the SIMBASS_* ones are the stand-in's control surface
// that takes the place of a sound card.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/unique_handle_win32.h"

namespace host {

using QWORD = uint64_t;

using StreamCreateFileFn = DWORD(__stdcall*)(BOOL memory, const void* file, QWORD offset, QWORD length, DWORD flags);
using StreamFreeFn = BOOL(__stdcall*)(DWORD handle);
using ChannelGetLengthFn = QWORD(__stdcall*)(DWORD handle, DWORD mode);
using ChannelBytes2SecondsFn = double(__stdcall*)(DWORD handle, QWORD bytes);
using ChannelSeconds2BytesFn = QWORD(__stdcall*)(DWORD handle, double seconds);
using PlayFileFn = DWORD(__stdcall*)(const wchar_t* path);
using PlayUrlFn = DWORD(__stdcall*)(const wchar_t* url, double seconds);
using SetPositionFn = BOOL(__stdcall*)(DWORD handle, QWORD bytes);
using StopFn = BOOL(__stdcall*)(DWORD handle);
using WaitSyncsFn = void(__stdcall*)();

// Flags of the host's own decoding channels: Unicode file name, decode only.
constexpr DWORD kDecodeUnicodeFlags = 0x80200000;

class AudioLibrary {
public:
    // Loads folder\bass.dll when it exists and binds what it exports.
    void Load(const std::wstring& folder);
    bool Loaded() const { return static_cast<bool>(module_); }
    // The decoding entry points the cue interface needs.
    bool CanDecode() const;
    // Decoding plus the control surface that playback needs.
    bool CanPlay() const;
    void Unload();

    StreamCreateFileFn streamCreateFile = nullptr;
    StreamFreeFn streamFree = nullptr;
    ChannelGetLengthFn channelGetLength = nullptr;
    ChannelBytes2SecondsFn bytes2Seconds = nullptr;
    ChannelSeconds2BytesFn seconds2Bytes = nullptr;
    PlayFileFn playFile = nullptr;
    PlayUrlFn playUrl = nullptr;
    SetPositionFn setPosition = nullptr;
    StopFn stop = nullptr;
    WaitSyncsFn waitSyncs = nullptr;

private:
    void Bind();
    win32::UniqueModule module_;
};

}  // namespace host
