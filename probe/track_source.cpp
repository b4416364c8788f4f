#include "probe/track_source.h"

#include <string>

#include "probe/convert.h"
#include "probe/cue_sheet.h"
#include "probe/host_text.h"
#include "probe/stream_properties.h"
#include "probe/tags.h"

namespace vellum {
namespace {

char16_t FoldAscii(char16_t unit) noexcept { return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit; }

// True when `path` contains `needle` (lower-case ASCII whose first character
// has no letter case), ignoring letter case. Only the places where that first
// character stands are compared further.
bool ContainsFolded(std::u16string_view path, std::u16string_view needle) noexcept {
    for (std::size_t start = path.find(needle.front()); start != std::u16string_view::npos;
         start = path.find(needle.front(), start + 1)) {
        if (path.size() - start < needle.size()) return false;
        std::size_t matched = 1;
        while (matched < needle.size() && FoldAscii(path[start + matched]) == needle[matched]) ++matched;
        if (matched == needle.size()) return true;
    }
    return false;
}

// A decoding handle opened for probing, closed at scope end.
class OpenedAudioFile {
public:
    OpenedAudioFile(const ProbeContext& context, std::u16string_view path)
        : context_(context), file_(OpenAudioFile(context, path)) {}
    ~OpenedAudioFile() { CloseAudioFile(context_, file_); }
    OpenedAudioFile(const OpenedAudioFile&) = delete;
    OpenedAudioFile& operator=(const OpenedAudioFile&) = delete;
    AudioHandle Get() const noexcept { return file_.handle; }

private:
    const ProbeContext& context_;
    AudioFileHandle file_;
};

void ProbeUrl(std::u16string_view path, TrackRecord& record) {
    ReplaceText(record.file_name, WideToUtf8(path));
    const char* name = record.file_name;
    ReplaceText(record.file_title, name != nullptr ? CopyText(name, std::char_traits<char>::length(name)) : nullptr);
}

void ProbePlainFile(const ProbeContext& context, TrackRecord& record, std::u16string_view path) {
    OpenedAudioFile file(context, path);
    if (file.Get() == 0) return;
    ProbeChannel(context, file.Get(), path, record, AudioDuration(context, file.Get()));
}

// A cue track or host track: the host opens it and reports the channel on its
// audio file and the track's own length.
void ProbeHostResolved(const ProbeContext& context, TrackRecord& record, std::u16string_view path) {
    HostCue* host = context.hostCue;
    if (host == nullptr) return;
    HostPathBuffer copy;
    if (!copy.Fill(path, host->WideText())) return;
    const void* track = host->OpenTrack(copy.Data());
    if (track == nullptr) return;
    HostTrackLease lease(*host, track);
    const CueTrackInfo info = host->ReadTrack(track);
    std::int32_t duration = 0;
    if (context.audio.ChannelBytes2Seconds)
        duration = WholeSeconds(context.audio.ChannelBytes2Seconds(info.channel, info.length));
    ProbeChannel(context, info.channel, path, record, duration);
}

}  // namespace

TrackPathKind ClassifyTrackPath(std::u16string_view path) noexcept {
    if (ContainsFolded(path, u"://")) return TrackPathKind::Url;
    if (ContainsFolded(path, u".cue/")) return TrackPathKind::CueTrack;
    if (ContainsFolded(path, u"/")) return TrackPathKind::HostTrack;
    return TrackPathKind::PlainFile;
}

bool ProbeChannel(const ProbeContext& context, AudioHandle channel, std::u16string_view path, TrackRecord& record,
                  std::int32_t duration) {
    if (!IsUsableTrackPath(path)) return false;
    switch (ClassifyTrackPath(path)) {
        case TrackPathKind::Url: ProbeUrl(path, record); break;
        case TrackPathKind::CueTrack:
            FillStreamProperties(context, path, record, channel, duration);
            FillCueTrackTags(record, path);
            break;
        case TrackPathKind::HostTrack:
        case TrackPathKind::PlainFile:
            FillStreamProperties(context, path, record, channel, duration);
            ReadTags(context.audio, channel, record);
            break;
    }
    return true;
}

void ProbePath(const ProbeContext& context, TrackRecord& record, std::u16string_view path) {
    if (!IsUsableTrackPath(path)) return;
    switch (ClassifyTrackPath(path)) {
        case TrackPathKind::Url: ProbeChannel(context, 0, path, record, 0); break;
        case TrackPathKind::PlainFile: ProbePlainFile(context, record, path); break;
        case TrackPathKind::CueTrack:
        case TrackPathKind::HostTrack: ProbeHostResolved(context, record, path); break;
    }
}

}  // namespace vellum
