#include "plugin/host_cue_win32.h"

#include <windows.h>

#include <cstring>

namespace vellum {
namespace {

typedef const void*(__stdcall* HostOpenTrackFn)(void* path);
typedef void(__stdcall* HostReleaseTrackFn)(const void* record);
typedef const void*(__stdcall* HostTitleFn)(void* path);

// Word indexes of the host's record.
constexpr int kVersionWord = 1;
constexpr int kTextFlagWord = 2;
constexpr int kOpenTrackWord = 3;
constexpr int kReleaseWord = 4;
constexpr int kTitleWord = 7;

// Byte offsets of the track record, for UTF-16 and for ANSI hosts.
constexpr std::size_t kWideStart = 1048, kWideLength = 1056;
constexpr std::size_t kAnsiStart = 528, kAnsiLength = 536;

template <typename T>
T ReadAt(const void* record, std::size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
    return value;
}

template <typename Fn>
Fn AsFunction(std::uint32_t word) {
    return reinterpret_cast<Fn>(static_cast<std::uintptr_t>(word));
}

}  // namespace

bool Win32HostCue::Attach(const void* record) noexcept {
    words_ = nullptr;
    if (record == nullptr || static_cast<const std::uint32_t*>(record)[kVersionWord] != kVersion) return false;
    words_ = static_cast<const std::uint32_t*>(record);
    return true;
}

std::uint32_t Win32HostCue::Word(int index) const noexcept { return words_ != nullptr ? words_[index] : 0; }

bool Win32HostCue::WideText() const noexcept { return Word(kTextFlagWord) != 0; }

const void* Win32HostCue::OpenTrack(void* path) noexcept {
    auto open = AsFunction<HostOpenTrackFn>(Word(kOpenTrackWord));
    return open != nullptr ? open(path) : nullptr;
}

void Win32HostCue::ReleaseTrack(const void* record) noexcept {
    auto release = AsFunction<HostReleaseTrackFn>(Word(kReleaseWord));
    if (release != nullptr && record != nullptr) release(record);
}

const void* Win32HostCue::Title(void* path) noexcept {
    auto title = AsFunction<HostTitleFn>(Word(kTitleWord));
    return title != nullptr ? title(path) : nullptr;
}

CueTrackInfo Win32HostCue::ReadTrack(const void* record) const noexcept {
    const bool wide = WideText();
    CueTrackInfo info;
    info.channel = ReadAt<std::uint32_t>(record, 0);
    info.start = ReadAt<std::uint64_t>(record, wide ? kWideStart : kAnsiStart);
    info.length = ReadAt<std::uint64_t>(record, wide ? kWideLength : kAnsiLength);
    return info;
}

}  // namespace vellum
