// The plugin's own work on the library, kept in the order it happened until a
// commit is known to hold it.
//
// Every write the plugin makes (a registration, a play credit, a removal) is an
// entry. An entry waits in `pending` until it can be applied: while another
// program holds the write lock it cannot. Once applied inside a transaction it
// moves to `applied`, stamped with a sequence number, and stays there until
// that transaction is known committed; if someone else's ROLLBACK undoes it,
// it goes back to the front of `pending` and is applied again.
//
// Applied entries are kept up to kAppliedLimit, the most recent ones: a
// ROLLBACK that undoes more of the plugin's work than that in one transaction
// has the last kAppliedLimit entries written again and the older ones lost.
// That bound keeps a batch of 100,000 items within a few MB.
//
// Not thread-safe: the connection guards it with its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>

#include "library/track_record.h"

namespace vellum {

class LibraryConnection;

enum class ApplyResult {
    Changed,    // written
    Unchanged,  // ran, but found nothing to change (no row for the key)
    Busy,       // another connection's lock, or memory ran out: try again later
    Failed,     // any other failure: the entry is given up, the table unchanged
};

// One unit of the plugin's work on the row of one track path.
class JournalEntry {
public:
    virtual ~JournalEntry() = default;
    // The UTF-8 track path the entry is about.
    virtual const std::string& Key() const noexcept = 0;
    // Applies the entry on the connection, under its lock, inside a transaction
    // that holds the write lock. May run again after a foreign ROLLBACK. May
    // throw (out of memory) only before it has written anything.
    virtual ApplyResult Apply(LibraryConnection& connection) = 0;
    // Shows the entry's effect on a row read for its key (null: no row).
    virtual void Overlay(RecordOwner& row) const = 0;
    // Takes over a later entry for the same key, with nothing about the key in
    // between, so that the two apply as one. True when taken over.
    virtual bool Absorb(JournalEntry& later) noexcept = 0;
    // True when this entry, arriving later, may be merged into an entry for the
    // same key that lies before `earlier` without changing the outcome.
    virtual bool PassesOver(const JournalEntry& earlier) const noexcept = 0;
};

class WorkJournal {
public:
    // Entries waiting beyond this many make callers that may wait (batches,
    // other plugins' calls) wait for room; play starts and play credits never
    // wait and are merged per path instead.
    static constexpr std::size_t kPendingLimit = 4096;
    static constexpr std::size_t kAppliedLimit = 4096;

    // Appends the entry, or merges it into an earlier pending one for the same
    // key. Returns the entry that now carries its work.
    JournalEntry* Add(std::unique_ptr<JournalEntry> entry);
    bool HasRoom() const noexcept { return pending_.size() < kPendingLimit; }
    bool PendingEmpty() const noexcept { return pending_.empty(); }
    std::size_t PendingCount() const noexcept { return pending_.size(); }
    JournalEntry& Front() { return *pending_.front(); }
    // The front entry has been applied under sequence number `sequence`. With
    // no memory to keep it for a ROLLBACK to find, it is forgotten, as one
    // beyond kAppliedLimit is.
    void FrontApplied(std::int64_t sequence) noexcept;
    // The front entry has been applied where its loss could not be noticed, or
    // has failed: it is forgotten.
    void DropFront() { pending_.pop_front(); }

    bool AppliedEmpty() const noexcept { return applied_.empty(); }
    std::int64_t LastApplied() const noexcept { return applied_.empty() ? 0 : applied_.back().first; }
    // Entries applied after `sequence` were undone: back to the front of pending.
    void Requeue(std::int64_t sequence);
    // Everything applied is committed.
    void Confirm() noexcept { applied_.clear(); }

    // Applies what is pending for `key` to a row read for it.
    void Overlay(const std::string& key, RecordOwner& row) const;
    void Clear() noexcept;

private:
    std::deque<std::unique_ptr<JournalEntry>> pending_;
    std::deque<std::pair<std::int64_t, std::unique_ptr<JournalEntry>>> applied_;
};

}  // namespace vellum
