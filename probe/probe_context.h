// What the probing functions need from outside: the bound audio-library entry
// points and the host's cue interface. Passed explicitly so that tests can hand
// in fakes; the plugin builds one from Library().
#pragma once

#include <cstddef>
#include <string_view>

#include "probe/audio_library.h"
#include "probe/host_cue.h"

namespace vellum {

struct ProbeContext {
    const AudioLibrary& audio;
    // Null when the host offered no cue interface: cue tracks and host tracks
    // then cannot be resolved and titles come from the path itself.
    HostCue* hostCue;
};

// Path buffers hold 520 UTF-16 units with the terminator, so a track path has
// at most 519. The ANSI copy handed to the host is a 520-byte buffer.
constexpr std::size_t kPathBufferUnits = 520;
constexpr std::size_t kMaxPathUnits = kPathBufferUnits - 1;

// True when the path fits a path buffer and holds no NUL of its own, so that
// the zero-terminated copies handed to the audio library and the host are the
// whole path, never a cut one.
bool IsUsableTrackPath(std::u16string_view path) noexcept;

}  // namespace vellum
