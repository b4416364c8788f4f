// TrackRecord: one row of the table `list` in memory. Its 25 fields are named
// and ordered like the columns; the row writers list values by position and
// the row reader takes column i into field i, so the two orders must agree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vellumdb.h"

// Text fields own a zero-terminated UTF-8 block from the platform heap and may
// be null in a probed record; number fields are signed 32-bit.
struct VellumTrackRecord {
    char* file_name;
    char* file_title;
    char* file_ext;
    std::int32_t file_size;
    std::int32_t statDuration;
    std::int32_t statChannels;
    std::int32_t statSamplingrate;
    std::int32_t statBitrate;
    char* infoCodec_sub;
    std::int32_t rating;
    std::int32_t playcount;
    std::int32_t lastplayed;
    std::int32_t modify;
    char* tagTitle;
    char* tagArtist;
    char* tagAlbum;
    char* tagGenre;
    char* tagDate;
    char* tagComment;
    char* tagTracknumber;
    char* tagPerformer;
    char* tagCopyright;
    char* tagSubtitle;
    char* tagAlbumArtist;
    char* tagDiscNumber;
};

namespace vellum {

using TrackRecord = ::VellumTrackRecord;

constexpr int kColumnCount = 25;

enum class FieldKind { Text, Number };

// The interface's getters (vellumdb.h): GetStringField, GetNumberField and
// GetTagField each number their group's fields in column order.
enum class FieldGroup { File, Number, Tag };

// The columns in table order, with the member each one maps to.
struct ColumnInfo {
    const char* name;
    std::size_t offset;
    FieldKind kind;
    FieldGroup group;
};
extern const ColumnInfo kColumns[kColumnCount];

// The column of a group's field `index` (VELLUMDB_STRING_*, _NUMBER_* or
// _TAG_*), or -1 for an index out of range.
int ColumnOfField(FieldGroup group, std::int32_t index) noexcept;

// Field access by column index, for the positional writers and reader.
char*& TextField(TrackRecord& record, int column) noexcept;
const char* TextField(const TrackRecord& record, int column) noexcept;
std::int32_t& NumberField(TrackRecord& record, int column) noexcept;
std::int32_t NumberField(const TrackRecord& record, int column) noexcept;

// A zero-filled record from the platform heap, or null when none can be had.
TrackRecord* NewTrackRecord() noexcept;
// Frees every non-null text field, in column order, then the record. Null is ignored.
void ReleaseTrackRecord(TrackRecord* record) noexcept;
// A new record holding copies of every field of `record`, or null.
TrackRecord* CopyTrackRecord(const TrackRecord& record) noexcept;
// A new zero-terminated heap copy of `length` bytes of `text`, or null.
char* CopyText(const char* text, std::size_t length) noexcept;
// The failed allocations of record blocks and texts on the calling thread so
// far: NewTrackRecord and CopyText note theirs, and so does every probe
// boundary that catches an exhausted heap. A probe during which the count
// moved may have left a field short.
unsigned RecordAllocationFailures() noexcept;
void NoteRecordAllocationFailure() noexcept;
// Replaces a text field, releasing the text it held.
void ReplaceText(char*& field, char* text) noexcept;

// Owns a record for one operation and releases it at scope end.
class RecordOwner {
public:
    explicit RecordOwner(TrackRecord* record = nullptr) noexcept : record_(record) {}
    ~RecordOwner() { ReleaseTrackRecord(record_); }
    RecordOwner(RecordOwner&& other) noexcept : record_(other.Release()) {}
    RecordOwner& operator=(RecordOwner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    RecordOwner(const RecordOwner&) = delete;
    RecordOwner& operator=(const RecordOwner&) = delete;

    TrackRecord* get() const noexcept { return record_; }
    TrackRecord* operator->() const noexcept { return record_; }
    TrackRecord& operator*() const noexcept { return *record_; }
    explicit operator bool() const noexcept { return record_ != nullptr; }
    TrackRecord* Release() noexcept {
        TrackRecord* record = record_;
        record_ = nullptr;
        return record;
    }
    void Reset(TrackRecord* record = nullptr) noexcept {
        ReleaseTrackRecord(record_);
        record_ = record;
    }

private:
    TrackRecord* record_;
};

}  // namespace vellum
