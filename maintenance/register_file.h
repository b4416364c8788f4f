// RegisterFile: the one way a track enters the library or has its stored
// properties refreshed.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "library/connection.h"
#include "library/track_record.h"
#include "library/work_entry.h"
#include "probe/probe_context.h"

namespace vellum {

// Probes `path` (from `channel` when non-zero, storing `duration` as given;
// otherwise by opening the track itself) and inserts its row, or rewrites the
// stored row keeping its rating, playcount, lastplayed and modify.
//
// A track that cannot be opened or resolved writes nothing: an existing row
// stays as it is and no row with an empty name is created. Nor does a path
// that is empty, longer than 519 units or holds a NUL: it is refused, not
// cut. A failed allocation writes nothing either (Refused). The probe runs
// outside the connection's lock; the lookup and the write run as one unit on
// the plugin's writer. While the library cannot be written the work waits in
// the connection's store and lands later (library/connection.h); never waits.
// Announces nothing: that is the caller's business.
LibraryConnection::Outcome RegisterFile(const ProbeContext& context, LibraryConnection& connection, AudioHandle channel,
                                        std::u16string_view path, std::int32_t duration) noexcept;

// The halves of RegisterFile, apart so that each can be measured on its own.
//
// The probed fresh record for `path`, or null when there is nothing to write:
// the path is refused, the track could not be opened or resolved, or memory
// ran out (for any field of the record).
TrackRecord* ProbeFreshRecord(const ProbeContext& context, AudioHandle channel, std::u16string_view path,
                              std::int32_t duration) noexcept;
// The registration entry of a probed record (keyed by its file_name, the UTF-8
// form of the probed path), or null for no record, an empty name or no memory.
std::unique_ptr<WorkEntry> MakeRegistrationOf(RecordOwner fresh) noexcept;

}  // namespace vellum
