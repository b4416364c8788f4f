// The plugin's three kinds of write as journal entries (library/work_journal.h):
// a registration, a play credit, a removal. Each is applied under the
// connection's lock inside a transaction; one that meets another program's
// lock waits in the journal and lands later, in the order it happened.
//
// Merging keeps waiting work bounded while a lock is held for long: a later
// registration of a path replaces an earlier waiting one (the newer probe is
// what would be stored last), and a later credit of a path is added to the
// waiting credit just before it, keeping the latest lastplayed. Nothing is
// merged across a removal of the same path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "library/connection.h"
#include "library/track_record.h"
#include "library/work_journal.h"

namespace vellum {

// `count` plus `plays`, held at INT32_MAX instead of wrapping (another plugin
// may store any value through the raw handle).
std::int32_t SaturatingAdd(std::int32_t count, std::int32_t plays) noexcept;

// Stores the probed record: inserts it, or rewrites the stored row keeping its
// rating, playcount, lastplayed and modify. `fresh` must hold a file_name.
std::unique_ptr<JournalEntry> MakeRegistration(RecordOwner fresh);
// Adds one play ending at `lastplayed` to the row of `utf8Key`, if it has one.
std::unique_ptr<JournalEntry> MakePlayCredit(std::string utf8Key, std::int32_t lastplayed);
// Removes the row whose file_name is exactly `utf8Key`.
std::unique_ptr<JournalEntry> MakeRemoval(std::string utf8Key);

// Removes the row whose file_name is `utf8Key` byte for byte, now or once
// another program's lock frees. A key that does not fit a path buffer (a NUL,
// over 519 units: library/track_path.h) removes nothing.
// Outside a Transaction it is committed at once. May wait while the journal is
// full (see LibraryConnection::Submit).
void RemoveTrack(LibraryConnection& connection, std::string utf8Key);
// The row of `utf8Key` as it will be once the plugin's waiting work has
// landed, as a new record owned by the caller, or null.
TrackRecord* ReadTrackRow(LibraryConnection& connection, const char* utf8Key);

}  // namespace vellum
