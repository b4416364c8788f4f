#include "library/work_entry.h"

#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "library/rows.h"

namespace vellum {
namespace {

// Runs one write statement on the writer.
ApplyResult Write(sqlite3* writer, const std::string& sql) {
    const int rc = sqlite3_exec(writer, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return ResultOfCode(rc);
    return sqlite3_changes(writer) > 0 ? ApplyResult::Written : ApplyResult::NoRow;
}

// The stored row of `key`: Written with a row, NoRow without, or the failure.
ApplyResult Lookup(sqlite3* writer, const std::string& key, RecordOwner& row) {
    const int rc = LookupTrackRow(writer, key.c_str(), row);
    if (rc == SQLITE_ROW) return ApplyResult::Written;
    if (rc == SQLITE_DONE) return ApplyResult::NoRow;
    return ResultOfCode(rc);
}

void CarryUserColumns(const TrackRecord& stored, TrackRecord& fresh) {
    fresh.rating = stored.rating;
    fresh.playcount = stored.playcount;
    fresh.lastplayed = stored.lastplayed;
    fresh.modify = stored.modify;
}

bool ParseNumber(std::string_view text, std::int32_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The NUL-separated parts of an Encode text.
std::vector<std::string_view> SplitParts(const std::string& data) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = data.find('\0', start)) != std::string::npos; start = end + 1)
        parts.emplace_back(data.data() + start, end - start);
    return parts;
}

class Registration : public WorkEntry {
public:
    explicit Registration(RecordOwner fresh) : fresh_(std::move(fresh)), key_(fresh_->file_name) {}
    EntryKind Kind() const noexcept override { return EntryKind::Registration; }
    const std::string& Key() const noexcept override { return key_; }

    // The stored row's user columns are carried into the entry's own record;
    // another attempt reads them afresh, so a failed one changes nothing.
    ApplyResult Apply(sqlite3* writer) override {
        RecordOwner stored;
        const ApplyResult found = Lookup(writer, key_, stored);
        if (found == ApplyResult::NoRow) return Write(writer, BuildInsertStatement(*fresh_));
        if (found != ApplyResult::Written) return found;
        CarryUserColumns(*stored, *fresh_);
        return Write(writer, BuildUpdateStatement(*fresh_));
    }

    void Overlay(RecordOwner& row) const override {
        RecordOwner shown(CopyTrackRecord(*fresh_));
        if (!shown) throw std::bad_alloc();
        if (row) CarryUserColumns(*row, *shown);
        row = std::move(shown);
    }

    // Every column in table order, each ended by a NUL; a null text is empty.
    std::string Encode() const override {
        std::string data;
        char digits[16];
        for (int column = 0; column < kColumnCount; ++column) {
            if (kColumns[column].kind == FieldKind::Text) {
                const char* text = TextField(*fresh_, column);
                if (text != nullptr) data += text;
            } else {
                const auto end = std::to_chars(digits, digits + sizeof digits, NumberField(*fresh_, column)).ptr;
                data.append(digits, end);
            }
            data += '\0';
        }
        return data;
    }

private:
    RecordOwner fresh_;
    std::string key_;
};

class PlayCredit : public WorkEntry {
public:
    PlayCredit(std::string key, std::int32_t lastplayed) : key_(std::move(key)), lastplayed_(lastplayed) {}
    EntryKind Kind() const noexcept override { return EntryKind::PlayCredit; }
    const std::string& Key() const noexcept override { return key_; }

    ApplyResult Apply(sqlite3* writer) override {
        RecordOwner row;
        const ApplyResult found = Lookup(writer, key_, row);
        if (found != ApplyResult::Written) return found;
        Overlay(row);
        return Write(writer, BuildUpdateStatement(*row));
    }

    void Overlay(RecordOwner& row) const override {
        if (!row) return;
        row->playcount = SaturatingAdd(row->playcount, 1);
        row->lastplayed = lastplayed_;
    }

    std::string Encode() const override { return std::to_string(lastplayed_) + '\0'; }

private:
    std::string key_;
    std::int32_t lastplayed_;
};

class Removal : public WorkEntry {
public:
    explicit Removal(std::string key) : key_(std::move(key)) {}
    EntryKind Kind() const noexcept override { return EntryKind::Removal; }
    const std::string& Key() const noexcept override { return key_; }
    ApplyResult Apply(sqlite3* writer) override { return Write(writer, BuildDeleteStatement(key_.c_str())); }
    void Overlay(RecordOwner& row) const override { row.Reset(); }
    std::string Encode() const override { return std::string(); }

private:
    std::string key_;
};

std::unique_ptr<WorkEntry> DecodeRegistration(const std::string& key, const std::string& data) {
    const std::vector<std::string_view> parts = SplitParts(data);
    if (parts.size() != kColumnCount || parts[0] != key) return nullptr;
    RecordOwner record(NewTrackRecord());
    if (!record) throw std::bad_alloc();
    for (int column = 0; column < kColumnCount; ++column) {
        const std::string_view part = parts[static_cast<std::size_t>(column)];
        if (kColumns[column].kind == FieldKind::Number) {
            if (!ParseNumber(part, NumberField(*record, column))) return nullptr;
            continue;
        }
        TextField(*record, column) = CopyText(part.data(), part.size());
        if (TextField(*record, column) == nullptr) throw std::bad_alloc();
    }
    return std::make_unique<Registration>(std::move(record));
}

std::unique_ptr<WorkEntry> DecodePlayCredit(std::string key, const std::string& data) {
    const std::vector<std::string_view> parts = SplitParts(data);
    std::int32_t lastplayed = 0;
    if (parts.size() != 1 || !ParseNumber(parts[0], lastplayed)) return nullptr;
    return std::make_unique<PlayCredit>(std::move(key), lastplayed);
}

}  // namespace

ApplyResult ResultOfCode(int code) noexcept {
    switch (code & 0xFF) {
        case SQLITE_OK: return ApplyResult::Written;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
        case SQLITE_PROTOCOL: return ApplyResult::Transient;
        default: return ApplyResult::Refused;
    }
}

std::int32_t SaturatingAdd(std::int32_t count, std::int32_t plays) noexcept {
    const std::int64_t sum = static_cast<std::int64_t>(count) + plays;
    return sum > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                          : static_cast<std::int32_t>(sum);
}

std::unique_ptr<WorkEntry> MakeRegistration(RecordOwner fresh) {
    return std::make_unique<Registration>(std::move(fresh));
}

std::unique_ptr<WorkEntry> MakePlayCredit(std::string utf8Key, std::int32_t lastplayed) {
    return std::make_unique<PlayCredit>(std::move(utf8Key), lastplayed);
}

std::unique_ptr<WorkEntry> MakeRemoval(std::string utf8Key) { return std::make_unique<Removal>(std::move(utf8Key)); }

std::unique_ptr<WorkEntry> DecodeEntry(int kind, std::string key, const std::string& data) {
    switch (static_cast<EntryKind>(kind)) {
        case EntryKind::Registration: return DecodeRegistration(key, data);
        case EntryKind::PlayCredit: return DecodePlayCredit(std::move(key), data);
        case EntryKind::Removal: return std::make_unique<Removal>(std::move(key));
        default: return nullptr;
    }
}

}  // namespace vellum
