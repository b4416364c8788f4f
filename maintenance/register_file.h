// RegisterFile: the one way a track enters the library or has its stored
// properties refreshed.
#pragma once

#include <cstdint>
#include <string_view>

#include "library/connection.h"
#include "library/track_record.h"
#include "probe/probe_context.h"

namespace vellum {

// Probes `path` (from `channel` when non-zero, storing `duration` as given;
// otherwise by opening the track itself) and inserts its row, or rewrites the
// stored row keeping its rating, playcount, lastplayed and modify.
//
// A track that cannot be opened or resolved writes nothing: an existing row
// stays as it is and no row with an empty name is created. Nor does a path
// that is empty, longer than 519 units or holds a NUL: it is refused, not cut. A failed allocation
// writes nothing either. The probe runs outside the connection's lock; the
// lookup and the write that follows run as one unit under it, so a concurrent
// read-modify-write of the same row (an end-of-play update) is never lost.
// While another program holds the write lock the write waits in the
// connection's journal and lands later (library/connection.h).
//
// Opens no transaction and announces nothing: both are the caller's business.
void RegisterFile(const ProbeContext& context, LibraryConnection& connection, AudioHandle channel,
                  std::u16string_view path, std::int32_t duration) noexcept;

// The two halves of RegisterFile, apart so that each can be measured on its own.
//
// The probed fresh record for `path`, or null when there is nothing to write:
// the path is refused, the track could not be opened or resolved, or memory
// ran out (for any field of the record).
TrackRecord* ProbeFreshRecord(const ProbeContext& context, AudioHandle channel, std::u16string_view path,
                              std::int32_t duration) noexcept;
// Looks the record's file_name (the UTF-8 form of the probed path) up and
// inserts the record, or rewrites the stored row with its rating, playcount,
// lastplayed and modify carried over. `mayWaitForRoom` as for
// LibraryConnection::Submit.
void StoreFreshRecord(LibraryConnection& connection, RecordOwner fresh, bool mayWaitForRoom) noexcept;

}  // namespace vellum
