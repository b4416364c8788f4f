#include "maintenance/register_file.h"

#include <utility>

#include "library/track_record.h"
#include "library/work_entry.h"
#include "platform/seam.h"
#include "probe/track_source.h"

namespace vellum {
namespace {

// The probe of the fresh record: from the channel that already plays the track,
// or by opening (or asking the host for) the track itself.
void Probe(const ProbeContext& context, AudioHandle channel, std::u16string_view path, TrackRecord& record,
           std::int32_t duration) {
    if (channel != 0) ProbeChannel(context, channel, path, record, duration);
    else ProbePath(context, record, path);
}

}  // namespace

TrackRecord* ProbeFreshRecord(const ProbeContext& context, AudioHandle channel, std::u16string_view path,
                              std::int32_t duration) noexcept {
    try {
        // A path no buffer holds whole would be probed and stored cut: refuse it.
        if (!IsUsableTrackPath(path)) return nullptr;
        const unsigned failures = RecordAllocationFailures();
        RecordOwner fresh(NewTrackRecord());
        if (!fresh) return nullptr;
        Probe(context, channel, path, *fresh, duration);
        // A failed allocation left a field short: a row stored from it would
        // lose what the probe could not copy. Store nothing instead.
        if (RecordAllocationFailures() != failures) return nullptr;
        // An empty probe result (a track that could not be opened or resolved)
        // would be written under an empty name: write nothing instead.
        if (fresh->file_name == nullptr || fresh->file_name[0] == '\0') return nullptr;
        return fresh.Release();
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<WorkEntry> MakeRegistrationOf(RecordOwner fresh) noexcept {
    try {
        // The probe has already converted the path: file_name is its UTF-8 form.
        if (!fresh || fresh->file_name == nullptr || fresh->file_name[0] == '\0') return nullptr;
        return MakeRegistration(std::move(fresh));
    } catch (...) {
        return nullptr;  // a failed allocation: nothing to write
    }
}

LibraryConnection::Outcome RegisterFile(const ProbeContext& context, LibraryConnection& connection, AudioHandle channel,
                                        std::u16string_view path, std::int32_t duration) noexcept {
    std::unique_ptr<WorkEntry> entry(
        MakeRegistrationOf(RecordOwner(ProbeFreshRecord(context, channel, path, duration))));
    if (entry == nullptr) return LibraryConnection::Outcome::Refused;
    try {
        return connection.Submit(std::move(entry));
    } catch (...) {
        return LibraryConnection::Outcome::Refused;
    }
}

}  // namespace vellum
