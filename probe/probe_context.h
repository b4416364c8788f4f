// What the probing functions need from outside: the bound audio-library entry
// points and the host's cue interface. Passed explicitly so that tests can hand
// in fakes; the plugin builds one from its process-wide state.
#pragma once

#include <cstddef>
#include <string_view>

#include "library/track_path.h"  // kPathBufferUnits, IsUsableTrackPath
#include "probe/audio_library.h"
#include "probe/host_cue.h"

namespace vellum {

struct ProbeContext {
    const AudioLibrary& audio;
    // Null when the host offered no cue interface: cue tracks and host tracks
    // then cannot be resolved and titles come from the path itself.
    HostCue* hostCue;
};

}  // namespace vellum
