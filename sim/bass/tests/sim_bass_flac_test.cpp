// The stand-in audio library's FLAC reader: STREAMINFO and VORBIS_COMMENT.
#include "sim/bass/tests/sim_bass_fixture.h"

namespace {

using namespace simbass_test;

TEST_F(SimBassTest, FlacReportsStreamInfoAndEveryVorbisField) {
    const Bytes data = Sample("tagged.flac");
    const std::uint32_t h = Open(Write("tagged.flac", data));
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info = Info(h);
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.ctype, 0x10900u);
    EXPECT_EQ(info.origres, 16u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 132300u * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, 132300u * 4), 3.0);
    // The audio data begins after the metadata blocks and runs to the end.
    const std::uint64_t start = BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_START);
    EXPECT_GT(start, 34u);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), data.size() - start);
    EXPECT_EQ(AllTags(h), (std::vector<std::string>{"FLAC Sample", "Vellum Artist", "Vellum Album", "Electronic",
                                                    "2022", "constant subframes", "3", "Vellum Composer",
                                                    "(c) vellumdb", "Quiet Version", "Various Artists", "2"}));
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, VorbisNamesIgnoreCaseAndHaveAlternatives) {
    simsamples::FlacSpec spec;
    spec.rate = 48000;
    spec.channels = 1;
    spec.bits = 24;
    spec.frames = 5000;
    spec.blockSize = 1152;
    spec.leadingId3 = true;
    spec.comments = {"title=",         "Artist=Lower Case", "album artist=Spaced", "description=Described", "Year=1999",
                     "discnumber=4/4", "NOEQUALS",          "TITLE=second title"};
    const std::uint32_t h = Open(Write("alt.flac", simsamples::MakeFlac(spec)));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Info(h).freq, 48000u);
    EXPECT_EQ(Info(h).chans, 1u);
    EXPECT_EQ(Info(h).origres, 24u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 5000u * 2);
    EXPECT_EQ(Tag(h, "%ARTI"), "Lower Case");
    EXPECT_EQ(Tag(h, "%AART"), "Spaced");
    EXPECT_EQ(Tag(h, "%CMNT"), "Described");
    EXPECT_EQ(Tag(h, "%YEAR"), "1999");
    EXPECT_EQ(Tag(h, "%DISC"), "4/4");
    // An empty TITLE yields to the next source with a title: the later TITLE here.
    EXPECT_EQ(Tag(h, kTitle), "second title");
    BASS_StreamFree(h);
}

}  // namespace
