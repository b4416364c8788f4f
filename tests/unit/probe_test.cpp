// Stream properties, codec names, tags and track source resolution, against a
// fake audio library and a fake host cue interface.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <utility>

#include "fault_loop.h"
#include "probe/stream_properties.h"
#include "probe/tags.h"
#include "probe/track_source.h"
#include "probe_fakes.h"
#include "temp_folder.h"

namespace vellum {
namespace {

using testing::FakeAudio;
using testing::FakeChannel;
using testing::FakeFile;
using testing::FakeHostCue;
using namespace std::string_literals;

constexpr char kTitleFormat[] = "%IFV2(%TITL,%UTF8(%TITL),)";

bool NumbersZero(const TrackRecord& record) {
    for (int column = 0; column < kColumnCount; ++column)
        if (kColumns[column].kind == FieldKind::Number && NumberField(record, column) != 0) return false;
    return true;
}

bool Untouched(const TrackRecord& record) {
    for (int column = 0; column < kColumnCount; ++column)
        if (kColumns[column].kind == FieldKind::Text && TextField(record, column) != nullptr) return false;
    return NumbersZero(record);
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override { fake_.Reset(); }
    void TearDown() override { platform::SetAnsiCodePageForTesting(1252); }
    ProbeContext Context(HostCue* host) const { return ProbeContext{audio_, host}; }

    FakeAudio& fake_ = FakeAudio::Instance();
    AudioLibrary audio_ = fake_.Bound();
    RecordOwner record_{NewTrackRecord()};
};

// Every channel type that has a name, and neighbours that have none.
TEST(StreamNumbers, EachOfTheTwentyThreeChannelTypesHasItsCodecName) {
    const std::pair<std::uint32_t, const char*> named[] = {
        {0x10002, "Vorbis"}, {0x10003, "mp1"},      {0x10004, "mp2"},        {0x10005, "mp3"},      {0x10006, "aiff"},
        {0x40000, "wave"},   {0x50001, "wave pcm"}, {0x50003, "wave float"}, {0x50055, "wave mp3"}, {0x10200, "cd"},
        {0x10300, "wma"},    {0x10301, "wma mp3"},  {0x10500, "wavpack"},    {0x10700, "ape"},      {0x10900, "flac"},
        {0x10901, "flac"},   {0x10b00, "aac"},      {0x10b01, "aac"},        {0x10d00, "midi"},     {0x10e00, "alac"},
        {0x10f00, "tta"},    {0x11000, "ac3"},      {0x12000, "tak"},
    };
    static_assert(sizeof named / sizeof named[0] == 23);
    for (const auto& [type, name] : named) EXPECT_STREQ(CodecName(type), name) << std::hex << type;
    for (std::uint32_t type :
         {0u, 0x10000u, 0x10001u, 0x10007u, 0x20001u, 0x40001u, 0x50002u, 0x10902u, 0x10b02u, 0x12001u, 0xFFFFFFFFu})
        EXPECT_STREQ(CodecName(type), "") << std::hex << type;
}

TEST(StreamNumbers, BitRatesAndWholeSeconds) {
    EXPECT_EQ(ComputeBitRate(4000000, 200.0f), 160000);
    EXPECT_EQ(ComputeBitRate(600u << 20, 300.0f), 16777216);  // 8 x 600 MiB overflows 32 bits
    EXPECT_EQ(ComputeBitRate(0xFFFFFFFFu, 1.0f), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ComputeBitRate(0, 200.0f), 0);
    EXPECT_EQ(ComputeBitRate(4000000, 0.0f), 0);
    EXPECT_EQ(ComputeBitRate(4000000, std::numeric_limits<float>::quiet_NaN()), 0);

    EXPECT_EQ(WholeSeconds(3.99), 3);
    EXPECT_EQ(WholeSeconds(-1.0), 0);  // the library's error answer
}

TEST(TrackPathKind, TestsUrlThenCueTrackThenHostTrackIgnoringCase) {
    EXPECT_EQ(ClassifyTrackPath(u"C:\\m\\a.mp3"), TrackPathKind::PlainFile);
    EXPECT_EQ(ClassifyTrackPath(u"C:\\m\\album.cue"), TrackPathKind::PlainFile);
    EXPECT_EQ(ClassifyTrackPath(u"HTTP://radio/album.cue/3"), TrackPathKind::Url);
    EXPECT_EQ(ClassifyTrackPath(u"C:\\m\\album.cue/3"), TrackPathKind::CueTrack);
    EXPECT_EQ(ClassifyTrackPath(u"C:\\m\\ALBUM.CUE/3"), TrackPathKind::CueTrack);
    EXPECT_EQ(ClassifyTrackPath(u"C:\\m\\album.cuex/3"), TrackPathKind::HostTrack);
}

TEST_F(ProbeTest, StreamPropertiesComeFromTheChannelAndTheHostTitle) {
    FakeHostCue host(true);
    host.titles[u"C:\\m\\song.flac"] = u"Song \u2014 live";
    FillStreamProperties(Context(&host), u"C:\\m\\song.flac", *record_, fake_.AddChannel({}), 198);
    EXPECT_STREQ(record_->file_name, "C:\\m\\song.flac");
    EXPECT_STREQ(record_->file_title, "Song \xE2\x80\x94 live");
    EXPECT_STREQ(record_->file_ext, "");
    EXPECT_EQ(record_->statDuration, 198);
    EXPECT_EQ(record_->statChannels, 2);
    EXPECT_EQ(record_->statSamplingrate, 44100);
    EXPECT_EQ(record_->statBitrate, 160000);
    EXPECT_STREQ(record_->infoCodec_sub, "flac");
    EXPECT_EQ(record_->tagTitle, nullptr);

    FakeChannel big;
    big.seconds = 300.0;
    big.fileEnd = 600ull << 20;
    FillStreamProperties(Context(nullptr), u"C:\\big.flac", *record_, fake_.AddChannel(big), 0);
    EXPECT_EQ(record_->statBitrate, 16777216);
    FakeChannel unknownEnd;
    unknownEnd.fileEnd = ~std::uint64_t{0};
    FillStreamProperties(Context(nullptr), u"C:\\x.flac", *record_, fake_.AddChannel(unknownEnd), 0);
    EXPECT_EQ(record_->statBitrate, 0);
}

TEST_F(ProbeTest, UnboundAudioLibraryKnowsNothingAndGivesTwelveEmptyTags) {
    const AudioLibrary unbound;
    const ProbeContext context{unbound, nullptr};
    EXPECT_EQ(OpenAudioFile(context, u"C:\\a.mp3").handle, 0u);
    EXPECT_EQ(AudioDuration(context, 7), 0);
    FillStreamProperties(context, u"C:\\a.mp3", *record_, 7, 12);
    EXPECT_EQ(record_->statBitrate + record_->statChannels, 0);
    EXPECT_STREQ(record_->infoCodec_sub, "");
    ReadTags(unbound, 7, *record_);
    for (const TagFormat& tag : kTagFormats) EXPECT_STREQ((*record_).*tag.field, "");
}

// Each of the twelve formats fills its own field: a distinct value for each
// shows every one lands where it belongs.
TEST_F(ProbeTest, EachOfTheTwelveTagFormatsFillsItsOwnField) {
    const std::pair<const char*, char * TrackRecord::*> mapped[] = {
        {"%IFV2(%TITL,%UTF8(%TITL),)", &TrackRecord::tagTitle},
        {"%IFV2(%ARTI,%UTF8(%ARTI),)", &TrackRecord::tagArtist},
        {"%IFV2(%ALBM,%UTF8(%ALBM),)", &TrackRecord::tagAlbum},
        {"%IFV2(%GNRE,%UTF8(%GNRE),)", &TrackRecord::tagGenre},
        {"%IFV2(%YEAR,%UTF8(%YEAR),)", &TrackRecord::tagDate},
        {"%IFV2(%CMNT,%UTF8(%CMNT),)", &TrackRecord::tagComment},
        {"%IFV2(%TRCK,%UTF8(%TRCK),)", &TrackRecord::tagTracknumber},
        {"%IFV2(%COMP,%UTF8(%COMP),)", &TrackRecord::tagPerformer},
        {"%IFV2(%COPY,%UTF8(%COPY),)", &TrackRecord::tagCopyright},
        {"%IFV2(%SUBT,%UTF8(%SUBT),)", &TrackRecord::tagSubtitle},
        {"%IFV2(%AART,%UTF8(%AART),)", &TrackRecord::tagAlbumArtist},
        {"%IFV2(%DISC,%UTF8(%DISC),)", &TrackRecord::tagDiscNumber},
    };
    FakeChannel tagged;
    for (const auto& [format, field] : mapped) tagged.tags[format] = std::string("value of ") + format;
    ReadTags(audio_, fake_.AddChannel(tagged), *record_);
    for (const auto& [format, field] : mapped) EXPECT_STREQ((*record_).*field, ("value of "s + format).c_str());
}

TEST_F(ProbeTest, TagsAreAskedInOrderAndTheComposerIsThePerformer) {
    FakeChannel tagged;
    tagged.tags["%IFV2(%COMP,%UTF8(%COMP),)"] = "J. S. Bach";
    tagged.tags[kTitleFormat] = "";
    ReadTags(audio_, fake_.AddChannel(tagged), *record_);
    const std::vector<std::string> expected = {
        "%IFV2(%TITL,%UTF8(%TITL),)", "%IFV2(%ARTI,%UTF8(%ARTI),)", "%IFV2(%ALBM,%UTF8(%ALBM),)",
        "%IFV2(%GNRE,%UTF8(%GNRE),)", "%IFV2(%YEAR,%UTF8(%YEAR),)", "%IFV2(%CMNT,%UTF8(%CMNT),)",
        "%IFV2(%TRCK,%UTF8(%TRCK),)", "%IFV2(%COMP,%UTF8(%COMP),)", "%IFV2(%COPY,%UTF8(%COPY),)",
        "%IFV2(%SUBT,%UTF8(%SUBT),)", "%IFV2(%AART,%UTF8(%AART),)", "%IFV2(%DISC,%UTF8(%DISC),)",
    };
    EXPECT_EQ(fake_.formatsAsked, expected);
    EXPECT_STREQ(record_->tagPerformer, "J. S. Bach");
    EXPECT_STREQ(record_->tagTitle, "");
    EXPECT_STREQ(record_->tagDiscNumber, "");
    EXPECT_EQ(record_->file_name, nullptr);
}

TEST_F(ProbeTest, UrlIsNamedAndTitledByItselfWithNothingOpened) {
    FakeHostCue host(true);
    ProbePath(Context(&host), *record_, u"http://radio.example/live?x='1'");
    EXPECT_STREQ(record_->file_name, "http://radio.example/live?x='1'");
    EXPECT_STREQ(record_->file_title, record_->file_name);
    EXPECT_TRUE(NumbersZero(*record_));
    EXPECT_EQ(record_->tagTitle, nullptr);
    EXPECT_EQ(fake_.opened + host.opens + host.titleCalls, 0);
}

TEST_F(ProbeTest, PlainFileOrModuleIsOpenedForDecodingMeasuredAndClosed) {
    FakeFile file;
    file.channel.seconds = 215.9;
    file.channel.tags[kTitleFormat] = "Song";
    fake_.AddFile(u"C:\\m\\song.flac", file);
    ProbePath(Context(nullptr), *record_, u"C:\\m\\song.flac");
    EXPECT_EQ(fake_.lastFlags, 0x80200000u);
    EXPECT_EQ(record_->statDuration, 215);
    EXPECT_STREQ(record_->tagTitle, "Song");

    FakeFile module;
    module.stream = false;
    module.channel.type = 0x20004;
    module.channel.seconds = 93.7;
    fake_.AddFile(u"C:\\m\\tune.it", module);
    RecordOwner tune(NewTrackRecord());
    ProbePath(Context(nullptr), *tune, u"C:\\m\\tune.it");
    EXPECT_EQ(tune->statDuration, 93);
    EXPECT_STREQ(tune->infoCodec_sub, "");
    EXPECT_EQ(fake_.lastFlags, 0x80200000u);
    EXPECT_EQ(fake_.opened, 2);
    // The module too: the stream's free call refuses a module and keeps it loaded.
    EXPECT_EQ(fake_.freed, 2);

    RecordOwner missing(NewTrackRecord());
    ProbePath(Context(nullptr), *missing, u"C:\\m\\missing.mp3");
    EXPECT_TRUE(Untouched(*missing));
}

TEST_F(ProbeTest, WithoutHostInterfaceTitlesFallBackAndVirtualTracksStayUnresolved) {
    ProbeChannel(Context(nullptr), fake_.AddChannel({}), u"C:\\m/x\\song.flac", *record_, 10);
    EXPECT_STREQ(record_->file_title, "song.flac");
    for (const char16_t* path : {u"C:\\m\\album.cue/2", u"C:\\m\\archive.zip/01.mp3"}) {
        RecordOwner virtualTrack(NewTrackRecord());
        ProbePath(Context(nullptr), *virtualTrack, path);
        EXPECT_TRUE(Untouched(*virtualTrack));
    }
}

TEST_F(ProbeTest, AnsiHostGetsTheCodePageFormAndFallsBackWithoutATitle) {
    platform::SetAnsiCodePageForTesting(932);
    FakeHostCue host(false);
    host.titles[u"C:\\音楽\\曲.mp3"] = u"曲名";
    ProbeChannel(Context(&host), fake_.AddChannel({}), u"C:\\音楽\\曲.mp3", *record_, 10);
    EXPECT_EQ(host.lastAnsiPath, "C:\\\x89\xb9\x8a\x79\\\x8b\xc8.mp3");
    EXPECT_STREQ(record_->file_title, "\xE6\x9B\xB2\xE5\x90\x8D");
    ProbeChannel(Context(&host), fake_.AddChannel({}), u"C:\\音楽\\無題.mp3", *record_, 10);
    EXPECT_STREQ(record_->file_title, "\xE7\x84\xA1\xE9\xA1\x8C.mp3");
}

TEST_F(ProbeTest, PathsBeyondTheBuffersAreRefusedNotCut) {
    const std::u16string tooLong = u"C:\\" + std::u16string(517, u'a');  // 520 units
    EXPECT_FALSE(ProbeChannel(Context(nullptr), fake_.AddChannel({}), tooLong, *record_, 5));
    ProbePath(Context(nullptr), *record_, tooLong);
    EXPECT_TRUE(Untouched(*record_));
    EXPECT_TRUE(ProbeChannel(Context(nullptr), fake_.AddChannel({}), tooLong.substr(1), *record_, 5));

    // 296 units fit, but their 583 ANSI bytes do not fit the host's buffer.
    platform::SetAnsiCodePageForTesting(932);
    FakeHostCue host(false);
    const std::u16string wide = u"C:\\" + std::u16string(287, u'音') + u".cue/1";
    host.tracks[wide] = CueTrackInfo{fake_.AddChannel({}), 0, 1000};
    RecordOwner cue(NewTrackRecord());
    ProbePath(Context(&host), *cue, wide);
    EXPECT_TRUE(Untouched(*cue));
    EXPECT_EQ(host.opens + host.titleCalls, 0);
}

TEST_F(ProbeTest, CueTrackTakesTheHostChannelTheTrackLengthAndTheSheetTags) {
    FakeHostCue host(true);
    const std::u16string path = u"C:\\no-such-folder\\album.CUE/2";
    const AudioHandle channel = fake_.AddChannel({});  // 1000 bytes, 200 s
    host.tracks[path] = CueTrackInfo{channel, 500, 254};
    ProbePath(Context(&host), *record_, path);
    EXPECT_EQ(host.lastPath, path);
    EXPECT_EQ(record_->statDuration, 50);     // the track's own length, truncated
    EXPECT_EQ(record_->statBitrate, 160000);  // the whole file's mean
    EXPECT_STREQ(record_->tagTracknumber, "2");
    EXPECT_STREQ(record_->tagTitle, "");  // the sheet cannot be read
    EXPECT_EQ(fake_.tagReads, 0);
    EXPECT_EQ(host.releases, 1);
    EXPECT_EQ(fake_.freed, 0);  // the host's channel is never freed
}

// The sheet's path ends at the first "/", so natively the sheet lies in the
// working folder and its path has no folder.
TEST_F(ProbeTest, CueTrackReadsItsTagsFromTheSheetOnDisk) {
    WorkingFolder folder;
    ASSERT_FALSE(folder.path().empty());
    std::ofstream("live.cue") << "TITLE \"Live\"\nFILE \"a.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Opening\"\n"
                                 "  TRACK 02 AUDIO\n    TITLE \"Encore\"\n";
    FakeHostCue host(true);
    host.tracks[u"live.cue/02"] = CueTrackInfo{fake_.AddChannel({}), 0, 1000};
    ProbePath(Context(&host), *record_, u"live.cue/02");
    EXPECT_STREQ(record_->tagTitle, "Encore");
    EXPECT_STREQ(record_->tagAlbum, "Live");
    EXPECT_STREQ(record_->infoCodec_sub, "flac");
}

TEST_F(ProbeTest, HostTrackIsTaggedFromTheReportedChannelAndUnknownOnesAreUntouched) {
    FakeHostCue host(true);
    FakeChannel tagged;
    tagged.tags[kTitleFormat] = "First";
    host.tracks[u"C:\\m\\archive.zip/01.mp3"] = CueTrackInfo{fake_.AddChannel(tagged), 0, 1000};
    ProbePath(Context(&host), *record_, u"C:\\m\\archive.zip/01.mp3");
    EXPECT_STREQ(record_->tagTitle, "First");
    EXPECT_EQ(record_->statDuration, 200);
    RecordOwner unknown(NewTrackRecord());
    ProbePath(Context(&host), *unknown, u"C:\\m\\archive.zip/02.mp3");
    EXPECT_TRUE(Untouched(*unknown));
    EXPECT_EQ(host.releases, 1);
}

// The probe itself keeps going past a failed allocation: a field it could
// not copy stays null, every other one is filled, and the failure is noted for
// RegisterFile, which then stores nothing.
TEST_F(ProbeTest, EachFailedTextBlockLeavesItsFieldNullAndIsNoted) {
    const AudioHandle channel = fake_.AddChannel({});
    constexpr int kCopiedTexts = 4;  // the file's name, title and extension, the codec
    int shortFields = 0;
    unsigned failures = 0;
    testing::FaultLoop loop;
    loop.setup = [&] {
        record_.Reset(NewTrackRecord());
        failures = RecordAllocationFailures();
    };
    loop.operation = [&] { FillStreamProperties(Context(nullptr), u"C:\\m\\song.flac", *record_, channel, 9); };
    loop.check = [&](bool faulted) {
        const char* const expected[] = {"C:\\m\\song.flac", "song.flac", "", "flac"};
        const char* const got[] = {record_->file_name, record_->file_title, record_->file_ext, record_->infoCodec_sub};
        int missing = 0;
        for (int field = 0; field < kCopiedTexts; ++field) {
            if (got[field] == nullptr) ++missing;
            else EXPECT_STREQ(got[field], expected[field]);
        }
        EXPECT_EQ(missing > 0, RecordAllocationFailures() != failures);
        EXPECT_TRUE(missing == 0 || faulted);
        EXPECT_EQ(record_->statDuration, 9);
        shortFields += missing;
        for (int column = 0; column < kColumnCount; ++column)
            if (kColumns[column].kind == FieldKind::Text) ReplaceText(TextField(*record_, column), nullptr);
    };
    // Each text is a heap block of its own: failing each in turn leaves its
    // field short once at least.
    EXPECT_GE(testing::FailEachAllocationInTurn(loop), kCopiedTexts);
    EXPECT_GE(shortFields, kCopiedTexts);
}

}  // namespace
}  // namespace vellum
