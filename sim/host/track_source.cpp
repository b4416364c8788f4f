#include "track_source.h"

#include "cue_sheet.h"
#include "text.h"

namespace host {
namespace {

bool IsAbsolute(std::wstring_view file) {
    return (file.size() >= 2 && file[1] == L':') || (!file.empty() && (file[0] == L'\\' || file[0] == L'/'));
}

const CueSheetTrack* FindTrack(const CueSheet& sheet, int number) {
    for (const CueSheetTrack& track : sheet.tracks) {
        if (track.number == number) return &track;
    }
    return nullptr;
}

std::optional<double> NextStartInSameFile(const CueSheet& sheet, const CueSheetTrack& track) {
    const CueSheetTrack* next = &track + 1;
    if (next == sheet.tracks.data() + sheet.tracks.size()) return std::nullopt;
    if (next->file != track.file || !next->startFrame) return std::nullopt;
    return static_cast<double>(*next->startFrame) / kCueFramesPerSecond;
}

std::optional<TrackSource> ResolveCueTrack(std::wstring_view path) {
    CueTrackPath cue = SplitCueTrackPath(path);
    auto sheet = ReadCueSheet(cue.sheet);
    if (!sheet) return std::nullopt;
    const CueSheetTrack* track = FindTrack(*sheet, cue.number);
    if (track == nullptr || !track->startFrame || track->file.empty()) return std::nullopt;
    TrackSource source;
    source.kind = TrackPathKind::CueTrack;
    std::wstring folder = FolderPart(cue.sheet);
    source.audio = IsAbsolute(track->file) || folder.empty() ? track->file : folder + L"\\" + track->file;
    source.startSeconds = static_cast<double>(*track->startFrame) / kCueFramesPerSecond;
    source.endSeconds = NextStartInSameFile(*sheet, *track);
    return source;
}

std::wstring CueTrackTitle(std::wstring_view path) {
    CueTrackPath cue = SplitCueTrackPath(path);
    if (auto sheet = ReadCueSheet(cue.sheet)) {
        const CueSheetTrack* track = FindTrack(*sheet, cue.number);
        if (track != nullptr && track->title) return *track->title;
    }
    return FileNamePart(cue.sheet) + L" #" + std::to_wstring(cue.number);
}

}  // namespace

std::optional<TrackSource> ResolveTrackSource(std::wstring_view path) {
    TrackPathKind kind = ClassifyTrackPath(path);
    if (kind == TrackPathKind::CueTrack) return ResolveCueTrack(path);
    TrackSource source;
    source.kind = kind;
    source.audio = kind == TrackPathKind::HostTrack ? HostTrackFile(path) : std::wstring(path);
    return source;
}

std::wstring TrackTitle(std::wstring_view path) {
    switch (ClassifyTrackPath(path)) {
        case TrackPathKind::CueTrack: return CueTrackTitle(path);
        case TrackPathKind::HostTrack: return FileNamePart(HostTrackFile(path));
        case TrackPathKind::Url: {
            std::wstring name = FileNamePart(path);
            return name.empty() ? std::wstring(path) : name;
        }
        case TrackPathKind::PlainFile: break;
    }
    return FileNamePart(path);
}

ByteSpan SpanOnChannel(const AudioLibrary& audio, DWORD channel, const TrackSource& source) {
    QWORD total = audio.channelGetLength(channel, 0);
    ByteSpan span;
    span.start = source.startSeconds > 0 ? audio.seconds2Bytes(channel, source.startSeconds) : 0;
    QWORD end = source.endSeconds ? audio.seconds2Bytes(channel, *source.endSeconds) : total;
    span.length = end > span.start ? end - span.start : 0;
    return span;
}

}  // namespace host
