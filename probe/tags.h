// The twelve tag fields of a TrackRecord, read through the TAGS add-on.
#pragma once

#include "library/track_record.h"
#include "probe/audio_library.h"

namespace vellum {

// One TAGS format string and the field it fills.
struct TagFormat {
    const char* format;
    char* TrackRecord::*field;
};

// The formats in the order they are asked. The composer goes into tagPerformer.
extern const TagFormat kTagFormats[12];

// Fills all twelve tag fields of `record` from `channel` and no other field. An
// absent tag, a failed read or an unbound reader gives empty text; a field
// whose block cannot be had stays null.
void ReadTags(const AudioLibrary& audio, AudioHandle channel, TrackRecord& record) noexcept;

}  // namespace vellum
