#include "track_path.h"

#include "text.h"

namespace host {

TrackPathKind ClassifyTrackPath(std::wstring_view path) {
    if (path.find(L"://") != std::wstring_view::npos) return TrackPathKind::Url;
    if (FindNoCase(path, L".cue/") != std::wstring_view::npos) return TrackPathKind::CueTrack;
    if (path.find(L'/') != std::wstring_view::npos) return TrackPathKind::HostTrack;
    return TrackPathKind::PlainFile;
}

CueTrackPath SplitCueTrackPath(std::wstring_view path) {
    CueTrackPath result;
    size_t at = FindNoCase(path, L".cue/");
    if (at == std::wstring_view::npos) return result;
    result.sheet.assign(path.substr(0, at + 4));
    size_t i = at + 5;
    while (i < path.size() && (path[i] == L' ' || path[i] == L'\t')) ++i;
    for (; i < path.size() && path[i] >= L'0' && path[i] <= L'9'; ++i) {
        result.number = result.number * 10 + (path[i] - L'0');
    }
    return result;
}

std::wstring HostTrackFile(std::wstring_view path) { return std::wstring(path.substr(0, path.find(L'/'))); }

}  // namespace host
