#include "probe/cue_sheet.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/seam.h"
#include "platform/text.h"
#include "probe/convert.h"

namespace vellum {
namespace {

constexpr std::int32_t kAlbumLevel = -1;
constexpr char16_t kLineFeed = 0x0A;
constexpr char16_t kCarriageReturn = 0x0D;

bool IsBlank(char16_t unit) noexcept { return unit == u' ' || unit == u'\t'; }

bool IsWide(SheetEncoding encoding) noexcept {
    return encoding == SheetEncoding::Utf16Le || encoding == SheetEncoding::Utf16Be;
}

// The first `limit` units of `text`. A cut never leaves the first half of a
// surrogate pair behind, which would decode to a replacement character.
std::u16string_view CutUnits(std::u16string_view text, std::size_t limit) noexcept {
    if (text.size() <= limit) return text;
    text = text.substr(0, limit);
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.remove_suffix(1);
    return text;
}

// Removes spaces, not tabs, from both ends.
std::u16string_view TrimSpaces(std::u16string_view text) noexcept {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    return text;
}

// Drops the first and last unit when the text both begins and ends with a
// double quote; a lone quote leaves nothing.
std::u16string_view Unquote(std::u16string_view text) noexcept {
    if (text.empty() || text.front() != u'"' || text.back() != u'"') return text;
    if (text.size() == 1) return {};
    return text.substr(1, text.size() - 2);
}

// Replaces a record field with the UTF-8 form of `value`; the field stays null
// when no memory can be had.
void SetField(char*& field, std::u16string_view value) noexcept { ReplaceText(field, WideToUtf8(value)); }

// Decimal digits of a non-negative number, written into `buffer`.
std::u16string_view FormatDecimal(std::int32_t number, char16_t (&buffer)[12]) noexcept {
    std::size_t start = sizeof buffer / sizeof buffer[0];
    std::uint32_t rest = number < 0 ? 0u : static_cast<std::uint32_t>(number);
    do {
        buffer[--start] = static_cast<char16_t>(u'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    return {buffer + start, sizeof buffer / sizeof buffer[0] - start};
}

// Stores decoded text as the line, cut at a zero unit and at the buffer's capacity.
void StoreLine(std::u16string_view text, SheetLine& line) noexcept {
    text = text.substr(0, std::min(text.find(u'\0'), text.size()));
    text = CutUnits(text, kSheetTextUnits - 1);
    std::copy(text.begin(), text.end(), line.text);
    line.length = text.size();
    line.text[line.length] = u'\0';
}

bool IsAscii(const char16_t* raw, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i)
        if (raw[i] >= 0x80) return false;
    return true;
}

// Decodes the raw units of one line into `line`. UTF-16 units are decoded
// already, and so are bytes below 0x80: UTF-8 and every ANSI code page agree
// with ASCII there. Such lines, most of a sheet, are stored as they are.
void DecodeLine(SheetEncoding encoding, const char16_t* raw, std::size_t count, SheetLine& line) {
    if (IsWide(encoding) || IsAscii(raw, count)) return StoreLine(std::u16string_view(raw, count), line);
    char bytes[kMaxSheetLineBytes];
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(raw[i]);
    if (encoding == SheetEncoding::Ansi) return StoreLine(platform::AnsiToWide({bytes, count}), line);
    // A byte never decodes to more than one unit, so the units fit.
    char16_t units[kMaxSheetLineBytes];
    StoreLine({units, platform::Utf8ToUtf16({bytes, count}, units, count)}, line);
}

// Reads a sheet from an open file.
class FileSheetSource final : public SheetByteSource {
public:
    explicit FileSheetSource(platform::InputFile& file) noexcept : file_(file) {}
    std::size_t Read(unsigned char* buffer, std::size_t bytes) noexcept override { return file_.Read(buffer, bytes); }

private:
    platform::InputFile& file_;
};

// The values gathered before the first TRACK line, each cut to kCueValueUnits.
struct AlbumValues {
    std::u16string genre, date, comment, composer, discNumber;
};

// A REM entry that has an album-level value and a track field.
struct RemRule {
    std::u16string_view name;
    std::u16string AlbumValues::*album;
    char* TrackRecord::*field;
    bool unquote;
};

const RemRule kRemRules[] = {
    {u"GENRE", &AlbumValues::genre, &TrackRecord::tagGenre, false},
    {u"DATE", &AlbumValues::date, &TrackRecord::tagDate, false},
    {u"DISCNUMBER", &AlbumValues::discNumber, &TrackRecord::tagDiscNumber, false},
    {u"COMPOSER", &AlbumValues::composer, &TrackRecord::tagPerformer, true},
    {u"COMMENT", &AlbumValues::comment, &TrackRecord::tagComment, true},
};
const RemRule& kCommentRule = kRemRules[4];

// The state of one read of a sheet: the wanted track, the current level and the
// album-level values.
class CueSheetParser {
public:
    CueSheetParser(std::int32_t wanted, TrackRecord& record) noexcept : wanted_(wanted), record_(record) {}

    void HandleLine(std::u16string_view line) {
        std::size_t position = 0;
        const std::u16string_view keyword = NextSheetToken(line, position);
        if (keyword == u"TRACK") {
            HandleTrack(NextSheetToken(line, position));
        } else if (keyword == u"TITLE") {
            HandleTitle(Unquote(NextSheetToken(line, position)));
        } else if (keyword == u"PERFORMER") {
            HandlePerformer(Unquote(NextSheetToken(line, position)));
        } else if (keyword == u"REM") {
            HandleRem(line, position);
        }
    }

private:
    bool AtAlbum() const noexcept { return current_ == kAlbumLevel; }
    bool AtWanted() const noexcept { return !AtAlbum() && current_ == wanted_; }

    // Entering the wanted track copies the album-level REM values into it.
    void HandleTrack(std::u16string_view number) {
        current_ = ParseCueTrackNumber(number);
        if (!AtWanted()) return;
        for (const RemRule& rule : kRemRules) SetField(record_.*rule.field, album_.*rule.album);
    }

    void HandleTitle(std::u16string_view value) {
        if (AtAlbum()) SetField(record_.tagAlbum, value);
        else if (AtWanted()) SetField(record_.tagTitle, value);
    }

    void HandlePerformer(std::u16string_view value) {
        if (AtAlbum()) SetField(record_.tagAlbumArtist, value);
        if (AtAlbum() || AtWanted()) SetField(record_.tagArtist, value);
    }

    void HandleRem(std::u16string_view line, std::size_t position) {
        const std::u16string_view name = NextSheetToken(line, position);
        if (name == kCommentRule.name) {
            // The whole rest of the line, spaces between words included.
            const std::u16string_view rest = line.substr(std::min(position, line.size()));
            return StoreRem(kCommentRule, Unquote(TrimSpaces(CutUnits(rest, kCueValueUnits))));
        }
        for (const RemRule& rule : kRemRules) {
            if (name != rule.name) continue;
            const std::u16string_view value = NextSheetToken(line, position);
            return StoreRem(rule, rule.unquote ? Unquote(value) : value);
        }
    }

    void StoreRem(const RemRule& rule, std::u16string_view value) {
        if (AtAlbum()) album_.*rule.album = CutUnits(value, kCueValueUnits);
        else if (AtWanted()) SetField(record_.*rule.field, value);
    }

    std::int32_t wanted_;
    std::int32_t current_ = kAlbumLevel;
    TrackRecord& record_;
    AlbumValues album_;
};

}  // namespace

SheetEncodingMark DetectSheetEncoding(const unsigned char* head, std::size_t size) noexcept {
    if (head == nullptr || size < 3) return {SheetEncoding::Ansi, 0};
    if (head[0] == 0xEF && head[1] == 0xBB)
        return head[2] == 0xBF ? SheetEncodingMark{SheetEncoding::Utf8, 3} : SheetEncodingMark{SheetEncoding::Ansi, 0};
    if (head[0] == 0xFF && head[1] == 0xFE) return {SheetEncoding::Utf16Le, 2};
    if (head[1] == 0x00) return {SheetEncoding::Utf16Le, 0};
    if (head[0] == 0xFE && head[1] == 0xFF) return {SheetEncoding::Utf16Be, 2};
    if (head[0] == 0x00) return {SheetEncoding::Utf16Be, 0};
    return {SheetEncoding::Ansi, 0};
}

std::size_t MemorySheetSource::Read(unsigned char* buffer, std::size_t bytes) noexcept {
    const std::size_t count = std::min(bytes, size_ - position_);
    if (count > 0) std::memcpy(buffer, data_ + position_, count);
    position_ += count;
    return count;
}

SheetUnitReader::SheetUnitReader(SheetByteSource& source) noexcept : source_(source) {
    FillAtLeast(3);
    const SheetEncodingMark mark = DetectSheetEncoding(block_, filled_);
    encoding_ = mark.encoding;
    position_ = std::min(mark.markBytes, filled_);
}

void SheetUnitReader::FillAtLeast(std::size_t bytes) noexcept {
    while (filled_ < bytes && !ended_) {
        const std::size_t room = kBlockBytes - filled_;
        const std::size_t got = std::min(source_.Read(block_ + filled_, room), room);
        if (got == 0) ended_ = true;
        filled_ += got;
    }
}

bool SheetUnitReader::NextByte(unsigned char& byte) noexcept {
    if (position_ == filled_) {
        if (ended_) return false;
        filled_ = std::min(source_.Read(block_, kBlockBytes), kBlockBytes);
        position_ = 0;
        if (filled_ == 0) {
            ended_ = true;
            return false;
        }
    }
    byte = block_[position_++];
    return true;
}

bool SheetUnitReader::NextUnit(char16_t& unit) noexcept {
    unsigned char first = 0;
    if (!NextByte(first)) return false;
    if (!IsWide(encoding_)) {
        unit = first;
        return true;
    }
    unsigned char second = 0;
    if (!NextByte(second)) return false;
    unit = encoding_ == SheetEncoding::Utf16Le ? static_cast<char16_t>(first | second << 8)
                                               : static_cast<char16_t>(first << 8 | second);
    return true;
}

SheetLineStatus ReadSheetLine(SheetUnitReader& reader, SheetLine& line) {
    const std::size_t limit = IsWide(reader.Encoding()) ? kMaxSheetLineUnits16 : kMaxSheetLineBytes;
    const std::size_t maxContent = limit - 1;  // room is left for the line feed
    char16_t raw[kMaxSheetLineBytes - 1];
    std::size_t count = 0;
    bool any = false;
    char16_t unit = 0;
    while (reader.NextUnit(unit)) {
        any = true;
        if (unit == kLineFeed) break;
        if (unit == kCarriageReturn) continue;
        if (count == maxContent) return SheetLineStatus::TooLong;
        raw[count++] = unit;
    }
    if (!any) return SheetLineStatus::End;
    DecodeLine(reader.Encoding(), raw, count, line);
    return SheetLineStatus::Line;
}

std::u16string_view NextSheetToken(std::u16string_view line, std::size_t& position) noexcept {
    std::size_t i = std::min(position, line.size());
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t start = i;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        if (line[i] == u'"') quoted = !quoted;
        else if (!quoted && IsBlank(line[i])) break;
    }
    position = i;
    return line.substr(start, i - start);
}

std::int32_t ParseCueTrackNumber(std::u16string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::int64_t number = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        number = std::min<std::int64_t>(number * 10 + (text[i] - u'0'), INT32_MAX);
    return static_cast<std::int32_t>(number);
}

void ParseCueSheet(SheetByteSource& source, std::int32_t wantedTrack, TrackRecord& record) noexcept {
    try {
        SheetUnitReader reader(source);
        CueSheetParser parser(wantedTrack, record);
        SheetLine line;
        while (ReadSheetLine(reader, line) == SheetLineStatus::Line) parser.HandleLine(line.View());
    } catch (...) {
        // Out of memory while decoding: what was gathered so far stays, and
        // the failure is noted so that the record is not stored as complete.
        NoteRecordAllocationFailure();
    }
}

void ParseCueSheet(const unsigned char* data, std::size_t size, std::int32_t wantedTrack,
                   TrackRecord& record) noexcept {
    MemorySheetSource source(data, data == nullptr ? 0 : size);
    ParseCueSheet(source, wantedTrack, record);
}

void ReadCueTrack(std::u16string_view sheetPath, std::u16string_view trackNumberText, TrackRecord& record) noexcept {
    const std::int32_t number = ParseCueTrackNumber(trackNumberText);
    char16_t digits[12];
    SetField(record.tagTracknumber, FormatDecimal(number, digits));
    if (sheetPath.empty()) return;
    platform::InputFile file(sheetPath);
    if (!file.IsOpen()) return;
    FileSheetSource source(file);
    ParseCueSheet(source, number, record);
}

void FillCueTrackTags(TrackRecord& record, std::u16string_view virtualPath) noexcept {
    std::u16string_view path = virtualPath.substr(0, std::min(virtualPath.find(u'\0'), virtualPath.size()));
    path = path.substr(0, std::min<std::size_t>(path.size(), kSheetTextUnits - 1));
    const std::size_t slash = path.find(u'/');
    const std::u16string_view sheet = path.substr(0, std::min(slash, path.size()));
    const std::u16string_view number = slash == std::u16string_view::npos ? u"" : path.substr(slash + 1);
    ReadCueTrack(sheet, number, record);

    char* TrackRecord::*const suppliedFields[] = {
        &TrackRecord::tagTitle,       &TrackRecord::tagArtist,    &TrackRecord::tagAlbum,
        &TrackRecord::tagGenre,       &TrackRecord::tagDate,      &TrackRecord::tagComment,
        &TrackRecord::tagTracknumber, &TrackRecord::tagPerformer, &TrackRecord::tagAlbumArtist,
        &TrackRecord::tagDiscNumber,
    };
    for (char* TrackRecord::*field : suppliedFields)
        if (record.*field == nullptr) record.*field = CopyText("", 0);
    // A cue sheet never supplies these two.
    ReplaceText(record.tagCopyright, CopyText("", 0));
    ReplaceText(record.tagSubtitle, CopyText("", 0));
}

}  // namespace vellum
