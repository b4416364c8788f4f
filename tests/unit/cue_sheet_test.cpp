#include "probe/cue_sheet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "library/track_record.h"
#include "platform/seam.h"
#include "fault_loop.h"
#include "platform/test_hooks.h"
#include "platform/text.h"
#include "temp_folder.h"

namespace vellum {
namespace {

namespace fs = std::filesystem;

// The record's tag fields are its last columns, from this one on.
const int kFirstTagColumn = ColumnOfField(FieldGroup::Tag, 0);
constexpr int kTagFields = 12;

std::string Text(const char* field) { return field == nullptr ? "<null>" : field; }

std::string Repeat(char c, std::size_t count) { return std::string(count, c); }

// The bytes of `text` as a sheet in `encoding`, with or without byte-order mark.
std::string EncodeSheet(std::u16string_view text, SheetEncoding encoding, bool mark) {
    switch (encoding) {
        case SheetEncoding::Ansi: return platform::WideToAnsi(text);
        case SheetEncoding::Utf8: return (mark ? "\xEF\xBB\xBF" : "") + platform::Utf16ToUtf8(text);
        default: break;
    }
    const bool little = encoding == SheetEncoding::Utf16Le;
    std::string bytes = mark ? (little ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

RecordOwner ParseBytes(const std::string& bytes, std::int32_t track) {
    RecordOwner record(NewTrackRecord());
    ParseCueSheet(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), track, *record);
    return record;
}

RecordOwner ParseUtf8(const std::string& sheet, std::int32_t track) {
    return ParseBytes(EncodeSheet(platform::Utf8ToUtf16(sheet), SheetEncoding::Utf8, true), track);
}

// ---------------------------------------------------------------------------
// Encoding detection, tokens, numbers

TEST(CueSheetEncoding, FollowsTheEightRulesInOrder) {
    struct Case {
        const char* bytes;
        std::size_t size;
        SheetEncoding encoding;
        std::size_t mark;
    };
    const Case cases[] = {
        {"\xFF\xFE", 2, SheetEncoding::Ansi, 0},  // fewer than three bytes
        {"\xEF\xBB\xBF", 3, SheetEncoding::Utf8, 3},
        {"\xEF\xBBX", 3, SheetEncoding::Ansi, 0},
        {"\xFF\xFE\x00", 3, SheetEncoding::Utf16Le, 2},
        {"T\x00I", 3, SheetEncoding::Utf16Le, 0},
        {"\xFE\xFFX", 3, SheetEncoding::Utf16Be, 2},
        {"\x00TI", 3, SheetEncoding::Utf16Be, 0},
        {"TIT", 3, SheetEncoding::Ansi, 0},
    };
    for (const Case& c : cases) {
        const auto result = DetectSheetEncoding(reinterpret_cast<const unsigned char*>(c.bytes), c.size);
        EXPECT_EQ(result.encoding, c.encoding) << c.bytes;
        EXPECT_EQ(result.markBytes, c.mark) << c.bytes;
    }
}

TEST(CueSheetToken, SkipsBlanksKeepsQuotesAndRunsUnclosedQuotesToTheEnd) {
    const std::u16string_view line = u" \tTITLE   \"a b\"\tab\"c d\"e  \"open  quote ";
    std::size_t position = 0;
    EXPECT_EQ(NextSheetToken(line, position), u"TITLE");
    EXPECT_EQ(NextSheetToken(line, position), u"\"a b\"");
    EXPECT_EQ(NextSheetToken(line, position), u"ab\"c d\"e");
    EXPECT_EQ(NextSheetToken(line, position), u"\"open  quote ");
    EXPECT_EQ(NextSheetToken(line, position), u"");
    EXPECT_EQ(position, line.size());
}

// ---------------------------------------------------------------------------
// The keyword rules, in every encoding

struct SheetForm {
    SheetEncoding encoding;
    bool mark;
    const char* name;
};

void PrintTo(const SheetForm& form, std::ostream* out) { *out << form.name; }

class CueSheetByEncoding : public ::testing::TestWithParam<SheetForm> {
protected:
    RecordOwner Parse(std::u16string_view sheet, std::int32_t track) {
        return ParseBytes(EncodeSheet(sheet, GetParam().encoding, GetParam().mark), track);
    }
};

const char16_t kAlbumSheet[] =
    u"REM GENRE \"Jazz Fusion\"\r\n"
    u"REM DATE 1999\r\n"
    u"REM COMMENT   \"Live at the hall\"  \r\n"
    u"REM DISCNUMBER 2\r\n"
    u"REM COMPOSER \"Some Composer\"\r\n"
    u"PERFORMER \"The Band\"\r\n"
    u"TITLE \"Album Name\"\r\n"
    u"FILE \"a.flac\" WAVE\r\n"
    u"  TRACK 01 AUDIO\r\n"
    u"    TITLE \"First\"\r\n"
    u"    PERFORMER Solo Artist\r\n"
    u"    INDEX 01 00:00:00\r\n"
    u"  TRACK 02 AUDIO\r\n"
    u"    TITLE Second Song\r\n"
    u"    REM DATE 2001\r\n"
    u"    REM GENRE Rock\r\n"
    u"    REM COMPOSER Writer\r\n"
    u"    REM DISCNUMBER \"3\"\r\n"
    u"    REM COMMENT   two  words  \r\n"
    u"  TRACK 03 AUDIO";

TEST_P(CueSheetByEncoding, AlbumValuesReachTheWantedTrack) {
    RecordOwner r = Parse(kAlbumSheet, 1);
    EXPECT_EQ(Text(r->tagAlbum), "Album Name");
    EXPECT_EQ(Text(r->tagAlbumArtist), "The Band");
    EXPECT_EQ(Text(r->tagArtist), "Solo");
    EXPECT_EQ(Text(r->tagTitle), "First");
    EXPECT_EQ(Text(r->tagGenre), "\"Jazz Fusion\"");
    EXPECT_EQ(Text(r->tagDate), "1999");
    EXPECT_EQ(Text(r->tagComment), "Live at the hall");
    EXPECT_EQ(Text(r->tagDiscNumber), "2");
    EXPECT_EQ(Text(r->tagPerformer), "Some Composer");
}

TEST_P(CueSheetByEncoding, TrackLevelLinesOverrideForThatTrackOnly) {
    RecordOwner second = Parse(kAlbumSheet, 2);
    EXPECT_EQ(Text(second->tagTitle), "Second");
    EXPECT_EQ(Text(second->tagArtist), "The Band");
    EXPECT_EQ(Text(second->tagDate), "2001");
    EXPECT_EQ(Text(second->tagGenre), "Rock");
    EXPECT_EQ(Text(second->tagPerformer), "Writer");
    EXPECT_EQ(Text(second->tagDiscNumber), "\"3\"");
    EXPECT_EQ(Text(second->tagComment), "two  words");

    RecordOwner third = Parse(kAlbumSheet, 3);
    EXPECT_EQ(Text(third->tagDate), "1999");
    EXPECT_EQ(Text(third->tagTitle), "<null>");
    EXPECT_EQ(Text(third->tagArtist), "The Band");
}

TEST_P(CueSheetByEncoding, TrackMissingFromTheSheetGetsOnlyAlbumTitleAndPerformer) {
    RecordOwner r = Parse(kAlbumSheet, 9);
    EXPECT_EQ(Text(r->tagAlbum), "Album Name");
    EXPECT_EQ(Text(r->tagArtist), "The Band");
    EXPECT_EQ(Text(r->tagAlbumArtist), "The Band");
    EXPECT_EQ(Text(r->tagTitle), "<null>");
    EXPECT_EQ(Text(r->tagDate), "<null>");
    EXPECT_EQ(Text(r->tagGenre), "<null>");
}

TEST_P(CueSheetByEncoding, SkipsOtherLinesAndKeepsReadingPastBlankOnes) {
    RecordOwner r = Parse(
        u"title lower\n\n   \n\t\nRem DATE 1\nREM date 2\nREM OTHER x\nREM\n"
        u"TI\rTLE \"Mid\rCR\"\nTRACK 4\nREM GENRE Pop\nTRACK 5\nTITLE last",
        5);
    EXPECT_EQ(Text(r->tagAlbum), "MidCR");
    EXPECT_EQ(Text(r->tagTitle), "last");
    EXPECT_EQ(Text(r->tagGenre), "");  // the genre belongs to track 4; the album had none
    EXPECT_EQ(Text(r->tagDate), "");
}

TEST_P(CueSheetByEncoding, UnquotesOnlyWhenBothEndsAreQuotesAndKeepsTheLatestValue) {
    RecordOwner r = Parse(
        u"TITLE first\nTITLE \"\nPERFORMER \"open end\nTRACK 1\nTITLE \"\"\n"
        u"REM COMMENT \t tab kept\t \nREM COMPOSER \"a\"b\"",
        1);
    EXPECT_EQ(Text(r->tagAlbum), "");
    EXPECT_EQ(Text(r->tagArtist), "\"open end");
    EXPECT_EQ(Text(r->tagTitle), "");
    EXPECT_EQ(Text(r->tagComment), "\t tab kept\t");
    EXPECT_EQ(Text(r->tagPerformer), "a\"b");
}

// Only byte-coded sheets have lines long enough for values over 255 units.
TEST(CueSheetValues, LongValuesAreCutWhereTheRulesSay) {
    const std::u16string x300(300, u'x');
    const std::u16string sheet =
        u"REM GENRE " + x300 + u"\nTRACK 1\nREM DATE " + x300 + u"\nREM COMMENT  \"" + x300 + u"\"\n";
    for (SheetEncoding encoding : {SheetEncoding::Ansi, SheetEncoding::Utf8}) {
        RecordOwner r = ParseBytes(EncodeSheet(sheet, encoding, true), 1);
        EXPECT_EQ(Text(r->tagGenre), Repeat('x', 255));           // album-level value: cut
        EXPECT_EQ(Text(r->tagDate), Repeat('x', 300));            // track-level value: whole
        EXPECT_EQ(Text(r->tagComment), "\"" + Repeat('x', 252));  // cut, trimmed, then unquoted
    }
}

// The longest line: 517 units of text plus the line feed; carriage returns do
// not count. One unit more ends the reading there.
TEST_P(CueSheetByEncoding, LineLengthLimitEndsTheSheet) {
    const bool wide = GetParam().encoding == SheetEncoding::Utf16Le || GetParam().encoding == SheetEncoding::Utf16Be;
    const std::size_t longest = (wide ? 258 : 518) - 1 - 6;  // after "TITLE "
    const std::u16string fits = u"TITLE " + std::u16string(longest, u'a') + u"\r\r\n";
    RecordOwner ok = Parse(u"PERFORMER before\n" + fits + u"REM DATE after\nTRACK 1", 1);
    EXPECT_EQ(Text(ok->tagAlbum), Repeat('a', longest));
    EXPECT_EQ(Text(ok->tagDate), "after");

    const std::u16string over = u"TITLE " + std::u16string(longest + 1, u'a') + u"\n";
    RecordOwner cut = Parse(u"PERFORMER before\n" + over + u"REM DATE after\nTRACK 1", 1);
    EXPECT_EQ(Text(cut->tagArtist), "before");
    EXPECT_EQ(Text(cut->tagAlbum), "<null>");
    EXPECT_EQ(Text(cut->tagDate), "<null>");

    RecordOwner lastFits = Parse(u"TITLE " + std::u16string(longest, u'b'), 0);
    EXPECT_EQ(Text(lastFits->tagAlbum), Repeat('b', longest));
    RecordOwner lastOver = Parse(u"TITLE " + std::u16string(longest + 1, u'b'), 0);
    EXPECT_EQ(Text(lastOver->tagAlbum), "<null>");
}

INSTANTIATE_TEST_SUITE_P(CueEncodings, CueSheetByEncoding,
                         ::testing::Values(SheetForm{SheetEncoding::Ansi, false, "Ansi"},
                                           SheetForm{SheetEncoding::Utf8, true, "Utf8Bom"},
                                           SheetForm{SheetEncoding::Utf16Le, true, "Utf16LeBom"},
                                           SheetForm{SheetEncoding::Utf16Le, false, "Utf16LeNoBom"},
                                           SheetForm{SheetEncoding::Utf16Be, true, "Utf16BeBom"},
                                           SheetForm{SheetEncoding::Utf16Be, false, "Utf16BeNoBom"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Decoding

class CueSheetAnsi : public ::testing::Test {
protected:
    void TearDown() override { platform::SetAnsiCodePageForTesting(1252); }
};

TEST_F(CueSheetAnsi, ShiftJisSheetDecodesThroughCodePage932) {
    platform::SetAnsiCodePageForTesting(932);
    // TITLE "音楽" / PERFORMER 表示 (0x5C as a trail byte) / TRACK 1 / TITLE 歌
    RecordOwner r = ParseBytes(
        "TITLE \"\x89\xb9\x8a\x79\"\r\nPERFORMER \x95\x5c\x8e\xa6\r\n"
        "TRACK 1\r\nTITLE \x89\xcc\r\n",
        1);
    EXPECT_EQ(Text(r->tagAlbum), "音楽");
    EXPECT_EQ(Text(r->tagArtist), "表示");
    EXPECT_EQ(Text(r->tagTitle), "歌");
}

TEST_F(CueSheetAnsi, Utf8WithoutMarkIsReadAsAnsi) {
    RecordOwner r = ParseBytes("TITLE caf\xC3\xA9\n", 0);
    EXPECT_EQ(Text(r->tagAlbum), "caf\xC3\x83\xC2\xA9");  // "cafÃ©"
}

TEST(CueSheetDecoding, Utf8LimitCountsBytesAndCutsNeverSplitASurrogatePair) {
    // 6 + 1 + 170 * 3 = 517 bytes of text: the longest line.
    std::string title = "TITLE a";
    for (int i = 0; i < 170; ++i) title += "\xE3\x81\x82";
    EXPECT_EQ(Text(ParseUtf8(title + "\n", 0)->tagAlbum), title.substr(6));
    EXPECT_EQ(Text(ParseUtf8(title + "b\n", 0)->tagAlbum), "<null>");

    // The comment's 255th unit is the first half of a pair.
    RecordOwner r = ParseUtf8("TRACK 1\nREM COMMENT " + Repeat('x', 253) + "\xF0\x9F\x8E\xB5", 1);
    EXPECT_EQ(Text(r->tagComment), Repeat('x', 253));
}

TEST(CueSheetDecoding, InvalidBytesAndStrayHalfUnitsDoNotStopTheSheet) {
    RecordOwner r = ParseBytes(
        "\xEF\xBB\xBFTITLE a\xFF"
        "b\nPERFORMER ok",
        0);
    EXPECT_EQ(Text(r->tagAlbum),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Text(r->tagArtist), "ok");

    // A UTF-16 sheet with an odd byte at the end, and a zero unit inside a line.
    const std::u16string sheet(u"TITLE ab\0cd\nPERFORMER x", 23);
    const std::string bytes = EncodeSheet(sheet, SheetEncoding::Utf16Le, true);
    RecordOwner wide = ParseBytes(bytes + "y", 0);
    EXPECT_EQ(Text(wide->tagAlbum), "ab");
    EXPECT_EQ(Text(wide->tagArtist), "x");
}

// A source that hands out a few bytes at a time, as a slow file would.
class TrickleSource final : public SheetByteSource {
public:
    explicit TrickleSource(const std::string& bytes, std::size_t step) : bytes_(bytes), step_(step) {}
    std::size_t Read(unsigned char* buffer, std::size_t bytes) noexcept override {
        const std::size_t count = std::min({bytes, step_, bytes_.size() - position_});
        std::copy_n(bytes_.data() + position_, count, buffer);
        position_ += count;
        return count;
    }

private:
    const std::string& bytes_;
    std::size_t step_;
    std::size_t position_ = 0;
};

TEST(CueSheetReader, ReadsLargeSheetsBlockByBlockWhateverTheChunkSize) {
    std::u16string sheet = u"TITLE big\n";
    for (int track = 1; track <= 5000; ++track)
        sheet += u"TRACK " + platform::Utf8ToUtf16(std::to_string(track)) + u" AUDIO\r\n  TITLE t" +
                 platform::Utf8ToUtf16(std::to_string(track)) + u"\r\n";
    for (SheetEncoding encoding : {SheetEncoding::Utf8, SheetEncoding::Utf16Be}) {
        const std::string bytes = EncodeSheet(sheet, encoding, true);
        for (std::size_t step : {1u, 3u, 4096u, 1u << 20}) {
            TrickleSource source(bytes, step);
            RecordOwner r(NewTrackRecord());
            ParseCueSheet(source, 4999, *r);
            EXPECT_EQ(Text(r->tagTitle), "t4999") << step;
            EXPECT_EQ(Text(r->tagAlbum), "big") << step;
        }
    }
}

// ---------------------------------------------------------------------------
// Reading sheets from disk

class CueSheetFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
    static void Write(const char* name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }
    static RecordOwner Fill(std::u16string_view virtualPath) {
        RecordOwner record(NewTrackRecord());
        FillCueTrackTags(*record, virtualPath);
        return record;
    }
    static void ExpectOnlyTrackNumber(const TrackRecord& r, const char* number) {
        for (int column = kFirstTagColumn; column < kColumnCount; ++column) {
            const bool isNumber = std::string(kColumns[column].name) == "tagTracknumber";
            EXPECT_EQ(Text(TextField(r, column)), isNumber ? number : "") << kColumns[column].name;
        }
    }

    WorkingFolder folder_;
};

TEST_F(CueSheetFile, FillsEveryTagFieldForAVirtualPath) {
    Write("album.cue", EncodeSheet(kAlbumSheet, SheetEncoding::Utf16Le, true));
    RecordOwner r = Fill(u"album.cue/ \t02 trailing");
    EXPECT_EQ(Text(r->tagTracknumber), "2");
    EXPECT_EQ(Text(r->tagTitle), "Second");
    EXPECT_EQ(Text(r->tagAlbum), "Album Name");
    EXPECT_EQ(Text(r->tagCopyright), "");
    EXPECT_EQ(Text(r->tagSubtitle), "");
    EXPECT_EQ(r->file_name, nullptr);

    RecordOwner missing = Fill(u"album.cue/7");
    EXPECT_EQ(Text(missing->tagTracknumber), "7");
    EXPECT_EQ(Text(missing->tagArtist), "The Band");
    EXPECT_EQ(Text(missing->tagGenre), "");
    EXPECT_EQ(Text(missing->tagTitle), "");
}

TEST_F(CueSheetFile, UnreadableOrEmptySheetsGiveOnlyTheTrackNumber) {
    fs::create_directory("folder.cue");
    Write("empty.cue", "");
    Write("long.cue", Repeat('T', 600) + "\n" + Repeat('U', 600) + "\nTITLE x\n");
    ExpectOnlyTrackNumber(*Fill(u"missing.cue/2"), "2");
    ExpectOnlyTrackNumber(*Fill(u"folder.cue/03"), "3");
    ExpectOnlyTrackNumber(*Fill(u"empty.cue/4"), "4");
    ExpectOnlyTrackNumber(*Fill(u"long.cue/5"), "5");
    ExpectOnlyTrackNumber(*Fill(u"/6"), "6");
    ExpectOnlyTrackNumber(*Fill(u"noslash.cue"), "0");
    ExpectOnlyTrackNumber(*Fill(u"huge.cue/99999999999"), "2147483647");
}

TEST_F(CueSheetFile, VirtualPathIsCutAt519Units) {
    const std::u16string stem(517, u's');  // "/" is unit 517, the digits units 518 and 519
    ExpectOnlyTrackNumber(*Fill(stem + u"/12"), "1");
    ExpectOnlyTrackNumber(*Fill(stem.substr(1) + u"/12"), "12");
}

// The twelve tag fields of a record, "|" between them.
std::string TagFields(const TrackRecord& record) {
    std::string fields;
    for (int column = kFirstTagColumn; column < kColumnCount; ++column) fields += Text(TextField(record, column)) + "|";
    return fields;
}

// A failed allocation anywhere in the parser ends it with the failure noted
// (RegisterFile then stores nothing), never a crash or a leak; a run that
// meets none gives every value. The ANSI and UTF-16 forms take the other
// conversions.
TEST_F(CueSheetFile, EveryFailedAllocationIsNotedAndLeaksNothing) {
    for (const SheetEncoding encoding : {SheetEncoding::Utf8, SheetEncoding::Utf16Le, SheetEncoding::Ansi}) {
        const std::string sheet = EncodeSheet(kAlbumSheet, encoding, encoding != SheetEncoding::Ansi);
        Write("album.cue", sheet);
        const std::string whole = TagFields(*ParseBytes(sheet, 2));
        ASSERT_NE(whole.find("Second|The Band|Album Name|Rock"), std::string::npos) << whole;
        RecordOwner record;
        unsigned failures = 0;
        testing::FaultLoop parse;
        parse.setup = [&] {
            record.Reset(NewTrackRecord());
            failures = RecordAllocationFailures();
        };
        parse.operation = [&] {
            ParseCueSheet(reinterpret_cast<const unsigned char*>(sheet.data()), sheet.size(), 2, *record);
        };
        parse.check = [&](bool faulted) {
            EXPECT_EQ(RecordAllocationFailures() != failures, faulted);
            if (!faulted) {
                EXPECT_EQ(TagFields(*record), whole);
            }
            // Released here, so that the blocks outstanding compare equal.
            for (int column = kFirstTagColumn; column < kColumnCount; ++column)
                ReplaceText(TextField(*record, column), nullptr);
        };
        // Each field the parse fills is a heap block of its own, failed in turn.
        const auto unfilled = [](const std::string& fields) {
            int count = 0;
            for (std::size_t at = fields.find("<null>"); at != std::string::npos; at = fields.find("<null>", at + 1))
                ++count;
            return count;
        };
        const int filledByParse = kTagFields - unfilled(whole);
        EXPECT_GE(testing::FailEachAllocationInTurn(parse), filledByParse) << static_cast<int>(encoding);

        // The same through the file, with the fields the sheet leaves out made empty.
        testing::FaultLoop fill = parse;
        fill.operation = [&] { FillCueTrackTags(*record, u"album.cue/2"); };
        fill.check = [&](bool faulted) {
            EXPECT_EQ(RecordAllocationFailures() != failures, faulted);
            if (!faulted) {
                EXPECT_EQ(TagFields(*record).find("<null>"), std::string::npos);
            }
            for (int column = kFirstTagColumn; column < kColumnCount; ++column)
                ReplaceText(TextField(*record, column), nullptr);
        };
        // Through the file every tag field is filled, each a block of its own.
        EXPECT_GE(testing::FailEachAllocationInTurn(fill), kTagFields) << static_cast<int>(encoding);
    }
}

}  // namespace
}  // namespace vellum
