// What a playlist path names: a stream URL, a track of a cue sheet ("sheet.cue/N"),
// a host track ("file/anything": the whole file) or a plain file.
#pragma once

#include <string>
#include <string_view>

namespace host {

enum class TrackPathKind { Url, CueTrack, HostTrack, PlainFile };

TrackPathKind ClassifyTrackPath(std::wstring_view path);

struct CueTrackPath {
    std::wstring sheet;  // up to and including ".cue"
    int number = 0;      // decimal after optional spaces; 0 when there are no digits
};
// Splits a cue-track path at its ".cue/" (case-insensitive).
CueTrackPath SplitCueTrackPath(std::wstring_view path);

// The file a host track names: the text before the first "/".
std::wstring HostTrackFile(std::wstring_view path);

}  // namespace host
