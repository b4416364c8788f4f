// One unit of the plugin's own work on the library: a registration, a play
// credit or a removal of the row of one track path.
//
// An entry is applied on the plugin's private writer connection inside a
// transaction that already holds the write lock, so its lookup and its write
// form one unit that no other connection or thread can split. When it cannot
// be applied at once it is encoded into the store of waiting work
// (library/work_store.h) and decoded again when it lands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "library/track_record.h"

struct sqlite3;

namespace vellum {

enum class EntryKind : int { Registration = 1, PlayCredit = 2, Removal = 3 };

enum class ApplyResult {
    Written,    // the row was inserted, changed or removed
    NoRow,      // ran, but there was no row to change (a credit or removal of an unknown path)
    Transient,  // a lock, a full disk, an I/O error, no memory: the entry must be tried again
    Refused,    // SQLite refused the statement itself (a table of another shape): given up
};

// Sorts an SQLite result code: the codes that waiting cures are Transient.
ApplyResult ResultOfCode(int code) noexcept;

class WorkEntry {
public:
    virtual ~WorkEntry() = default;
    virtual EntryKind Kind() const noexcept = 0;
    // The UTF-8 track path (byte for byte) the entry is about.
    virtual const std::string& Key() const noexcept = 0;
    // Applies the entry on `writer`, whose transaction holds the write lock.
    // May throw (out of memory) only before it has written anything.
    virtual ApplyResult Apply(sqlite3* writer) = 0;
    // Shows the entry's effect on a row read for its key (null: no row), so
    // that a reader sees waiting work as done.
    virtual void Overlay(RecordOwner& row) const = 0;
    // The entry's own data, for the store; Decode reverses it.
    virtual std::string Encode() const = 0;
};

// `count` plus `plays`, held at INT32_MAX instead of wrapping (another plugin
// may store any value through the raw handle).
std::int32_t SaturatingAdd(std::int32_t count, std::int32_t plays) noexcept;

// Stores the probed record: inserts it, or rewrites the stored row keeping its
// rating, playcount, lastplayed and modify. `fresh` must hold a file_name.
std::unique_ptr<WorkEntry> MakeRegistration(RecordOwner fresh);
// Adds one play ending at `lastplayed` to the row of `utf8Key`, if it has one.
std::unique_ptr<WorkEntry> MakePlayCredit(std::string utf8Key, std::int32_t lastplayed);
// Removes the row whose file_name is exactly `utf8Key`.
std::unique_ptr<WorkEntry> MakeRemoval(std::string utf8Key);

// Rebuilds an entry from the store's kind, key and Encode text; null when the
// text is not one this version wrote (it is then given up).
std::unique_ptr<WorkEntry> DecodeEntry(int kind, std::string key, const std::string& data);

}  // namespace vellum
