#include "library/track_record.h"

#include <cstring>

#include "platform/seam.h"

namespace vellum {

#define VELLUM_TEXT(name) \
    { #name, offsetof(TrackRecord, name), FieldKind::Text, FieldGroup::File }
#define VELLUM_NUMBER(name) \
    { #name, offsetof(TrackRecord, name), FieldKind::Number, FieldGroup::Number }
#define VELLUM_TAG(name) \
    { #name, offsetof(TrackRecord, name), FieldKind::Text, FieldGroup::Tag }

const ColumnInfo kColumns[kColumnCount] = {
    VELLUM_TEXT(file_name),
    VELLUM_TEXT(file_title),
    VELLUM_TEXT(file_ext),
    VELLUM_NUMBER(file_size),
    VELLUM_NUMBER(statDuration),
    VELLUM_NUMBER(statChannels),
    VELLUM_NUMBER(statSamplingrate),
    VELLUM_NUMBER(statBitrate),
    VELLUM_TEXT(infoCodec_sub),
    VELLUM_NUMBER(rating),
    VELLUM_NUMBER(playcount),
    VELLUM_NUMBER(lastplayed),
    VELLUM_NUMBER(modify),
    VELLUM_TAG(tagTitle),
    VELLUM_TAG(tagArtist),
    VELLUM_TAG(tagAlbum),
    VELLUM_TAG(tagGenre),
    VELLUM_TAG(tagDate),
    VELLUM_TAG(tagComment),
    VELLUM_TAG(tagTracknumber),
    VELLUM_TAG(tagPerformer),
    VELLUM_TAG(tagCopyright),
    VELLUM_TAG(tagSubtitle),
    VELLUM_TAG(tagAlbumArtist),
    VELLUM_TAG(tagDiscNumber),
};

#undef VELLUM_TEXT
#undef VELLUM_NUMBER
#undef VELLUM_TAG

int ColumnOfField(FieldGroup group, std::int32_t index) noexcept {
    for (int column = 0; column < kColumnCount && index >= 0; ++column) {
        if (kColumns[column].group != group) continue;
        if (index == 0) return column;
        --index;
    }
    return -1;
}

char*& TextField(TrackRecord& record, int column) noexcept {
    return *reinterpret_cast<char**>(reinterpret_cast<unsigned char*>(&record) + kColumns[column].offset);
}

const char* TextField(const TrackRecord& record, int column) noexcept {
    return *reinterpret_cast<char* const*>(reinterpret_cast<const unsigned char*>(&record) + kColumns[column].offset);
}

std::int32_t& NumberField(TrackRecord& record, int column) noexcept {
    return *reinterpret_cast<std::int32_t*>(reinterpret_cast<unsigned char*>(&record) + kColumns[column].offset);
}

std::int32_t NumberField(const TrackRecord& record, int column) noexcept {
    return *reinterpret_cast<const std::int32_t*>(reinterpret_cast<const unsigned char*>(&record) +
                                                  kColumns[column].offset);
}

namespace {
thread_local unsigned t_recordAllocationFailures = 0;
}

unsigned RecordAllocationFailures() noexcept { return t_recordAllocationFailures; }

void NoteRecordAllocationFailure() noexcept { ++t_recordAllocationFailures; }

TrackRecord* NewTrackRecord() noexcept {
    auto* record = static_cast<TrackRecord*>(platform::HeapAllocZeroed(sizeof(TrackRecord)));
    if (record == nullptr) NoteRecordAllocationFailure();
    return record;
}

void ReleaseTrackRecord(TrackRecord* record) noexcept {
    if (record == nullptr) return;
    for (int column = 0; column < kColumnCount; ++column)
        if (kColumns[column].kind == FieldKind::Text) platform::HeapRelease(TextField(*record, column));
    platform::HeapRelease(record);
}

TrackRecord* CopyTrackRecord(const TrackRecord& record) noexcept {
    TrackRecord* copy = NewTrackRecord();
    if (copy == nullptr) return nullptr;
    for (int column = 0; column < kColumnCount; ++column) {
        if (kColumns[column].kind == FieldKind::Number) {
            NumberField(*copy, column) = NumberField(record, column);
            continue;
        }
        const char* text = TextField(record, column);
        if (text == nullptr) continue;
        TextField(*copy, column) = CopyText(text, std::strlen(text));
        if (TextField(*copy, column) == nullptr) {
            ReleaseTrackRecord(copy);
            return nullptr;
        }
    }
    return copy;
}

char* CopyText(const char* text, std::size_t length) noexcept {
    char* block = static_cast<char*>(platform::HeapAllocZeroed(length + 1));
    if (block == nullptr) NoteRecordAllocationFailure();
    if (block != nullptr && length > 0) std::memcpy(block, text, length);
    return block;
}

void ReplaceText(char*& field, char* text) noexcept {
    platform::HeapRelease(field);
    field = text;
}

}  // namespace vellum
