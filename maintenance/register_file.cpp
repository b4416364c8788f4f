#include "maintenance/register_file.h"

#include <cstring>
#include <memory>

#include "library/rows.h"
#include "library/track_record.h"
#include "platform/seam.h"
#include "probe/track_source.h"

namespace vellum {
namespace {

struct HeapBlockDeleter {
    void operator()(char* block) const noexcept { platform::HeapRelease(block); }
};
using HeapText = std::unique_ptr<char, HeapBlockDeleter>;

// The probe of the fresh record: from the channel that already plays the track,
// or by opening (or asking the host for) the track itself.
void Probe(const ProbeContext& context, AudioHandle channel, std::u16string_view path, TrackRecord& record,
           std::int32_t duration) {
    if (channel != 0)
        ProbeChannel(context, channel, path, record, duration);
    else
        ProbePath(context, record, path);
}

// Inserts the probed record, or rewrites the stored row with the user columns
// carried over. Runs under the connection's lock.
void WriteRow(LibraryConnection& connection, const char* utf8Key, TrackRecord& fresh) {
    platform::ScopedLock hold(connection.Lock());
    RecordOwner stored(FindTrackRow(connection, utf8Key));
    if (!stored) {
        InsertTrackRow(connection, fresh);
        return;
    }
    fresh.rating = stored->rating;
    fresh.playcount = stored->playcount;
    fresh.lastplayed = stored->lastplayed;
    fresh.modify = stored->modify;
    UpdateTrackRow(connection, fresh);
}

}  // namespace

TrackRecord* ProbeFreshRecord(const ProbeContext& context, AudioHandle channel, std::u16string_view path,
                              std::int32_t duration) noexcept {
    try {
        // A path no buffer holds whole would be probed and stored cut: refuse it.
        if (!IsUsableTrackPath(path)) return nullptr;
        RecordOwner fresh(NewTrackRecord());
        if (!fresh) return nullptr;
        Probe(context, channel, path, *fresh, duration);
        // An empty probe result (a track that could not be opened or resolved)
        // would be written under an empty name: write nothing instead.
        if (fresh->file_name == nullptr || fresh->file_name[0] == '\0') return nullptr;
        return fresh.Release();
    } catch (...) {
        return nullptr;
    }
}

void StoreFreshRecord(LibraryConnection& connection, TrackRecord& fresh) noexcept {
    try {
        // The probe has already converted the path: file_name is its UTF-8
        // form. The key is a block of its own copied from it, not a second
        // conversion.
        if (fresh.file_name == nullptr) return;
        HeapText utf8Key(CopyText(fresh.file_name, std::strlen(fresh.file_name)));
        if (!utf8Key || utf8Key.get()[0] == '\0') return;
        WriteRow(connection, utf8Key.get(), fresh);
    } catch (...) {
        // A failed allocation while building a statement: nothing was written.
    }
}

void RegisterFile(const ProbeContext& context, LibraryConnection& connection, AudioHandle channel,
                  std::u16string_view path, std::int32_t duration) noexcept {
    RecordOwner fresh(ProbeFreshRecord(context, channel, path, duration));
    if (fresh) StoreFreshRecord(connection, *fresh);
}

}  // namespace vellum
