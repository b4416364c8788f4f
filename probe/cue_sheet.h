// Cue-sheet parser: the tags of one track of a cue sheet. The sheet is read
// afresh for every track asked about; the parser keeps no state between calls.
//
// The parsing core is pure (bytes in, record fields out) and pulls the sheet in
// fixed blocks, so a sheet of any size is read in bounded memory. Only
// ReadCueTrack and FillCueTrackTags touch the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "library/track_record.h"

namespace vellum {

enum class SheetEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// The encoding of a sheet and the length in bytes of the byte-order mark that
// stands before its text.
struct SheetEncodingMark {
    SheetEncoding encoding;
    std::size_t markBytes;
};

// Line and token buffers hold this many UTF-16 units, the terminator included.
constexpr std::size_t kSheetTextUnits = 520;
// The longest line, its line feed counted and carriage returns not: in bytes
// for ANSI and UTF-8 sheets, in units for UTF-16 sheets.
constexpr std::size_t kMaxSheetLineBytes = 518;
constexpr std::size_t kMaxSheetLineUnits16 = 258;
// Album-level REM values and comments are cut to this many UTF-16 units.
constexpr std::size_t kCueValueUnits = 255;

// Decides the encoding from the first bytes of a sheet. `head` holds the first
// min(size, 3) bytes; `size` is how many bytes the sheet has (any value of 3 or
// more means "at least three").
SheetEncodingMark DetectSheetEncoding(const unsigned char* head, std::size_t size) noexcept;

// Where the bytes of a sheet come from.
class SheetByteSource {
public:
    virtual ~SheetByteSource() = default;
    // Fills up to `bytes` bytes; returns how many, 0 at the end.
    virtual std::size_t Read(unsigned char* buffer, std::size_t bytes) noexcept = 0;
};

// A sheet held in memory.
class MemorySheetSource final : public SheetByteSource {
public:
    MemorySheetSource(const unsigned char* data, std::size_t size) noexcept : data_(data), size_(size) {}
    std::size_t Read(unsigned char* buffer, std::size_t bytes) noexcept override;

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// The code units of a sheet: detects the encoding from the first bytes, skips
// the mark and then hands out one unit (a byte, or a UTF-16 unit in host
// order) at a time. Reads the source in blocks of a fixed size.
class SheetUnitReader {
public:
    explicit SheetUnitReader(SheetByteSource& source) noexcept;
    SheetUnitReader(const SheetUnitReader&) = delete;
    SheetUnitReader& operator=(const SheetUnitReader&) = delete;

    SheetEncoding Encoding() const noexcept { return encoding_; }
    // False at the end of the sheet. A lone byte left at the end of a UTF-16
    // sheet is not a unit and is dropped.
    bool NextUnit(char16_t& unit) noexcept;

private:
    bool NextByte(unsigned char& byte) noexcept;
    void FillAtLeast(std::size_t bytes) noexcept;

    static constexpr std::size_t kBlockBytes = 4096;
    SheetByteSource& source_;
    unsigned char block_[kBlockBytes];
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    SheetEncoding encoding_ = SheetEncoding::Ansi;
};

// One decoded line, zero-terminated, without line feed or carriage returns.
// The text also ends at a zero unit within the line.
struct SheetLine {
    char16_t text[kSheetTextUnits] = {};
    std::size_t length = 0;
    std::u16string_view View() const noexcept { return {text, length}; }
};

enum class SheetLineStatus {
    Line,     // `line` holds the next line
    End,      // no more lines
    TooLong,  // the next line is over-long: the reading of the sheet ends here
};

// Reads and decodes the next line. After End or TooLong, stop reading.
SheetLineStatus ReadSheetLine(SheetUnitReader& reader, SheetLine& line);

// The next token of `line` from `position`, which moves past it: leading spaces
// and tabs are skipped, and the token runs to the next space or tab outside
// double quotes. Quotes stay in the token; an unclosed quote runs to the end of
// the line. Empty at the end of the line. The result views `line`.
std::u16string_view NextSheetToken(std::u16string_view line, std::size_t& position) noexcept;

// The number at the start of `text` after spaces and tabs: its decimal digits up
// to the first non-digit, 0 when there is none. Saturates at INT32_MAX, so the
// result is never negative.
std::int32_t ParseCueTrackNumber(std::u16string_view text) noexcept;

// Reads a whole sheet and fills the tag fields that it supplies for track
// `wantedTrack` (0 or more). Fields it does not supply are left as they are.
void ParseCueSheet(SheetByteSource& source, std::int32_t wantedTrack, TrackRecord& record) noexcept;
void ParseCueSheet(const unsigned char* data, std::size_t size, std::int32_t wantedTrack, TrackRecord& record) noexcept;

// Stores the track number of `trackNumberText` as tagTracknumber, then reads
// the sheet at `sheetPath`, if there is one, for that track's tags.
void ReadCueTrack(std::u16string_view sheetPath, std::u16string_view trackNumberText, TrackRecord& record) noexcept;

// Fills all twelve tag fields for a virtual cue-track path ("sheet path/track
// number"); whatever the sheet does not supply becomes an empty text.
void FillCueTrackTags(TrackRecord& record, std::u16string_view virtualPath) noexcept;

}  // namespace vellum
