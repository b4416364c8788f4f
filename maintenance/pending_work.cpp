#include "maintenance/pending_work.h"

#include <sqlite3.h>

#include <limits>
#include <utility>

#include "library/rows.h"
#include "library/track_path.h"

namespace vellum {
namespace {

// A lock, or memory that ran out, passes: the entry waits and is tried again.
ApplyResult ResultOf(int rc, bool changed) {
    const int primary = rc & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_NOMEM) return ApplyResult::Busy;
    if (rc != SQLITE_OK) return ApplyResult::Failed;
    return changed ? ApplyResult::Changed : ApplyResult::Unchanged;
}

// Runs one write statement; its result with whether it changed a row.
ApplyResult Write(LibraryConnection& connection, const std::string& sql) {
    platform::ScopedLock hold(connection.Lock());
    const int rc = connection.Exec(sql.c_str());
    sqlite3* database = connection.Handle();
    return ResultOf(rc, database != nullptr && sqlite3_changes(database) > 0);
}

// The stored row of `key`: ApplyResult::Changed with a row, Unchanged without.
ApplyResult Lookup(LibraryConnection& connection, const std::string& key, RecordOwner& row) {
    const int rc = LookupTrackRow(connection, key.c_str(), row);
    if (rc == SQLITE_ROW) return ApplyResult::Changed;
    return ResultOf(rc == SQLITE_DONE ? SQLITE_OK : rc, false);
}

void CarryUserColumns(const TrackRecord& stored, TrackRecord& fresh) {
    fresh.rating = stored.rating;
    fresh.playcount = stored.playcount;
    fresh.lastplayed = stored.lastplayed;
    fresh.modify = stored.modify;
}

class Registration : public JournalEntry {
public:
    explicit Registration(RecordOwner fresh) : fresh_(std::move(fresh)), key_(fresh_->file_name) {}
    const std::string& Key() const noexcept override { return key_; }

    ApplyResult Apply(LibraryConnection& connection) override {
        RecordOwner stored;
        const ApplyResult found = Lookup(connection, key_, stored);
        if (found == ApplyResult::Busy || found == ApplyResult::Failed) return found;
        if (!stored) return Write(connection, BuildInsertStatement(*fresh_));
        CarryUserColumns(*stored, *fresh_);
        return Write(connection, BuildUpdateStatement(*fresh_));
    }

    void Overlay(RecordOwner& row) const override {
        RecordOwner shown(CopyTrackRecord(*fresh_));
        if (!shown) return;
        if (row) CarryUserColumns(*row, *shown);
        row = std::move(shown);
    }

    bool Absorb(JournalEntry& later) noexcept override {
        auto* registration = dynamic_cast<Registration*>(&later);
        if (registration == nullptr) return false;
        std::swap(fresh_, registration->fresh_);
        return true;
    }

    // A refresh keeps the play columns, so a credit waiting before a later
    // registration ends the same either way.
    bool PassesOver(const JournalEntry& earlier) const noexcept override;

private:
    RecordOwner fresh_;
    std::string key_;
};

class PlayCredit : public JournalEntry {
public:
    PlayCredit(std::string key, std::int32_t lastplayed) : key_(std::move(key)), lastplayed_(lastplayed) {}
    const std::string& Key() const noexcept override { return key_; }

    ApplyResult Apply(LibraryConnection& connection) override {
        RecordOwner row;
        const ApplyResult found = Lookup(connection, key_, row);
        if (found != ApplyResult::Changed) return found;
        Overlay(row);
        return Write(connection, BuildUpdateStatement(*row));
    }

    void Overlay(RecordOwner& row) const override {
        if (!row) return;
        row->playcount = SaturatingAdd(row->playcount, plays_);
        row->lastplayed = lastplayed_;
    }

    bool Absorb(JournalEntry& later) noexcept override {
        auto* credit = dynamic_cast<PlayCredit*>(&later);
        if (credit == nullptr) return false;
        plays_ = SaturatingAdd(plays_, credit->plays_);
        lastplayed_ = credit->lastplayed_;
        return true;
    }

    bool PassesOver(const JournalEntry&) const noexcept override { return false; }

private:
    std::string key_;
    std::int32_t lastplayed_;
    std::int32_t plays_ = 1;
};

class Removal : public JournalEntry {
public:
    explicit Removal(std::string key) : key_(std::move(key)) {}
    const std::string& Key() const noexcept override { return key_; }
    ApplyResult Apply(LibraryConnection& connection) override {
        return Write(connection, BuildDeleteStatement(key_.c_str()));
    }
    void Overlay(RecordOwner& row) const override { row.Reset(); }
    bool Absorb(JournalEntry& later) noexcept override { return dynamic_cast<Removal*>(&later) != nullptr; }
    bool PassesOver(const JournalEntry&) const noexcept override { return false; }

private:
    std::string key_;
};

bool Registration::PassesOver(const JournalEntry& earlier) const noexcept {
    return dynamic_cast<const PlayCredit*>(&earlier) != nullptr;
}

}  // namespace

std::int32_t SaturatingAdd(std::int32_t count, std::int32_t plays) noexcept {
    const std::int64_t sum = static_cast<std::int64_t>(count) + plays;
    return sum > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                          : static_cast<std::int32_t>(sum);
}

std::unique_ptr<JournalEntry> MakeRegistration(RecordOwner fresh) {
    return std::make_unique<Registration>(std::move(fresh));
}

std::unique_ptr<JournalEntry> MakePlayCredit(std::string utf8Key, std::int32_t lastplayed) {
    return std::make_unique<PlayCredit>(std::move(utf8Key), lastplayed);
}

std::unique_ptr<JournalEntry> MakeRemoval(std::string utf8Key) { return std::make_unique<Removal>(std::move(utf8Key)); }

void RemoveTrack(LibraryConnection& connection, std::string utf8Key) {
    if (!FitsPathBuffer(std::string_view(utf8Key))) return;
    connection.Submit(MakeRemoval(std::move(utf8Key)), true);
}

TrackRecord* ReadTrackRow(LibraryConnection& connection, const char* utf8Key) {
    platform::ScopedLock hold(connection.Lock());
    RecordOwner row(FindTrackRow(connection, utf8Key));
    connection.OverlayPending(utf8Key != nullptr ? utf8Key : "", row);
    return row.Release();
}

}  // namespace vellum
