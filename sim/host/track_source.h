// Where the audio of a playlist path lies: the file (or URL) to open and, for a cue
// track, the part of that file the track covers. Also the display title of a path.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "audio_library.h"
#include "track_path.h"

namespace host {

struct TrackSource {
    TrackPathKind kind = TrackPathKind::PlainFile;
    std::wstring audio;  // the file to open, or the URL itself
    double startSeconds = 0;
    std::optional<double> endSeconds;  // none: to the end of the audio
};

// Nothing for a cue track that its sheet does not give (no sheet, no such track,
// no INDEX 01).
std::optional<TrackSource> ResolveTrackSource(std::wstring_view path);

// The title the host shows: a cue track's TITLE, else "<sheet file name> #N";
// for every other path its file name.
std::wstring TrackTitle(std::wstring_view path);

struct ByteSpan {
    QWORD start = 0;
    QWORD length = 0;
};
// The source's bytes on a channel opened on its audio.
ByteSpan SpanOnChannel(const AudioLibrary& audio, DWORD channel, const TrackSource& source);

}  // namespace host
