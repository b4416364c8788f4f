// Track source resolution: a track path is classified, the channel to probe is
// found or opened, and a fresh TrackRecord is filled from it.
#pragma once

#include <cstdint>
#include <string_view>

#include "library/track_record.h"
#include "probe/probe_context.h"

namespace vellum {

enum class TrackPathKind {
    Url,        // contains "://": a network stream, never opened
    CueTrack,   // contains ".cue/": a cue sheet's path, "/" and a track number
    HostTrack,  // contains "/": a virtual track that only the host resolves
    PlainFile,  // an audio file on disk
};

// Tests in this order, ignoring letter case: "://", ".cue/", "/".
TrackPathKind ClassifyTrackPath(std::u16string_view path) noexcept;

// Fills `record` from an open channel: a URL gets only its name and title; a
// cue track gets stream properties and the sheet's tags; any other track gets
// stream properties and its tags. `duration` (whole seconds) is stored as it
// is. An unusable path (empty, over 519 units, holding a NUL) is refused and
// the record left untouched. True when the record was filled.
bool ProbeChannel(const ProbeContext& context, AudioHandle channel, std::u16string_view path, TrackRecord& record,
                  std::int32_t duration);

// Fills `record` for a path with no channel at hand: opens a plain file itself,
// asks the host for a cue track or host track. A track that cannot be opened or
// resolved (no host interface, an unknown path) leaves the record untouched.
void ProbePath(const ProbeContext& context, TrackRecord& record, std::u16string_view path);

}  // namespace vellum
