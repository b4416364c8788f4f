// The stand-in audio library's MPEG reader: lengths from CBR, Xing, Info and
// VBRI, the MPEG versions, and ID3v2.2/2.3/2.4 and ID3v1 tags.
#include "sim/bass/tests/sim_bass_fixture.h"

namespace {

using namespace simbass_test;

TEST_F(SimBassTest, Mp3CbrWithoutHeaderFrameCountsEveryFrame) {
    const Bytes data = Sample("cbr_id3v23.mp3");
    const std::uint32_t h = Open(Write("cbr.mp3", data));
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info = Info(h);
    EXPECT_EQ(info.ctype, 0x10005u);
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    const std::uint64_t id3 = BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_START);
    EXPECT_GT(id3, 10u);
    EXPECT_EQ(data[id3], 0xFF);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 115u * 1152 * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0)), 115 * 1152 / 44100.0);
    // END counts the audio data alone, the leading ID3v2 tag outside it.
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), data.size() - id3);
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, Mp3Id3v23TextEncodingsBecomeUtf8) {
    const std::uint32_t h = Open(Write("cbr.mp3", Sample("cbr_id3v23.mp3")));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(AllTags(h),
              (std::vector<std::string>{"Caf\xC3\xA9 CBR", "Vellum Artist", "Vellum Album", "Ambient", "2023",
                                        "ID3v2.3 comment", "2/5", "Vellum Composer", "", "", "Vellum Band", "1/1"}));
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, Mp3XingVbrLengthComesFromFrameCount) {
    const Bytes data = Sample("vbr_xing_id3v24.mp3");
    const std::uint32_t h = Open(Write("vbr.mp3", data));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Info(h).ctype, 0x10005u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 100u * 1152 * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, 100u * 1152 * 4), 115200 / 44100.0);
    // The ID3v2 tag and the Xing frame come before the audio data.
    const std::uint64_t start = BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_START);
    EXPECT_EQ(data[start], 0xFF);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), data.size() - start);
    EXPECT_EQ(AllTags(h), (std::vector<std::string>{
                              "\xE5\xA4\x9C\xE6\x98\x8E\xE3\x81\x91\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88",
                              "\xE3\x83\xB4\xE3\x82\xA7\xE3\x83\xA9\xE3\x83\xA0", "VBR Album", "Electronic",
                              "2024-05-01", "UTF-8 comment \xE2\x9C\x93", "7", "Vellum Composer", "(c) vellumdb",
                              "Xing Edit", "Various Artists", "1/2"}));
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, Mp3VersionsAndVbrHeaders) {
    struct Case {
        int version;
        std::uint32_t rate;
        bool mono;
        simsamples::Mp3Spec::Header header;
        std::uint32_t bitrate;
        std::vector<std::uint32_t> vbr;
    } cases[] = {
        {2, 22050, true, simsamples::Mp3Spec::kXing, 64, {32, 48, 64}},
        {25, 11025, false, simsamples::Mp3Spec::kXing, 32, {8, 16, 32}},
        {1, 48000, false, simsamples::Mp3Spec::kVbri, 128, {96, 192}},
        {1, 32000, true, simsamples::Mp3Spec::kInfo, 64, {}},
        {2, 24000, false, simsamples::Mp3Spec::kInfo, 64, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        simsamples::Mp3Spec spec;
        spec.version = c.version;
        spec.rate = c.rate;
        spec.mono = c.mono;
        spec.header = c.header;
        spec.bitrate = c.bitrate;
        spec.vbrBitrates = c.vbr;
        spec.frames = 37;
        const std::uint32_t h = Open(Write("m" + std::to_string(n++) + ".mp3", simsamples::MakeMp3(spec)));
        ASSERT_NE(h, 0u) << n;
        EXPECT_EQ(Info(h).freq, c.rate);
        EXPECT_EQ(Info(h).chans, c.mono ? 1u : 2u);
        EXPECT_EQ(BASS_ChannelGetLength(h, 0), 37ull * simsamples::Mp3SamplesPerFrame(c.version) * (c.mono ? 2 : 4))
            << n;
        BASS_StreamFree(h);
    }
}

TEST_F(SimBassTest, Mp3CbrMpeg25WithId3v1Only) {
    simsamples::Mp3Spec spec;
    spec.version = 25;
    spec.rate = 8000;
    spec.bitrate = 8;  // 72 bytes a frame, no padding
    spec.mono = true;
    spec.frames = 50;
    spec.id3v1 = simsamples::MakeId3v1("V1 Title", "V1 Artist", "V1 Album", "1987", "v1 comment", 9, 17);
    const Bytes data = simsamples::MakeMp3(spec);
    const std::uint32_t h = Open(Write("v1.mp3", data));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 50u * 576 * 2);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_START), 0u);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), 50u * 72);  // the ID3v1 block outside
    EXPECT_EQ(AllTags(h), (std::vector<std::string>{"V1 Title", "V1 Artist", "V1 Album", "Rock", "1987", "v1 comment",
                                                    "9", "", "", "", "", ""}));
    BASS_StreamFree(h);
}

// Builds an MP3 with the given ID3v2 tag and returns the channel.
class Id3Test : public SimBassTest {
protected:
    std::uint32_t OpenWithTag(const simsamples::Id3Spec& id3) {
        simsamples::Mp3Spec spec;
        spec.frames = 10;
        spec.id3v2 = simsamples::MakeId3v2(id3);
        return Open(Write("t" + std::to_string(n_++) + ".mp3", simsamples::MakeMp3(spec)));
    }
    int n_ = 0;
};

TEST_F(Id3Test, V24EncodingsZeroToThree) {
    simsamples::Id3Spec id3;
    id3.version = 4;
    id3.frames = {simsamples::TextFrame("TIT2",
                                        "Gr\xC3\xBC\xC3\x9F"
                                        "e",
                                        0),
                  simsamples::TextFrame("TPE1", "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5", 1),
                  simsamples::TextFrame("TALB", "\xE3\x82\xA2\xE3\x83\xAB\xE3\x83\x90\xE3\x83\xA0", 2),
                  simsamples::TextFrame("TCON", "(17)", 3), simsamples::CommentFrame("desc", "BE comment", 2)};
    const std::uint32_t h = OpenWithTag(id3);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, "%TITL"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(Tag(h, "%ARTI"), "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5");
    EXPECT_EQ(Tag(h, "%ALBM"), "\xE3\x82\xA2\xE3\x83\xAB\xE3\x83\x90\xE3\x83\xA0");
    EXPECT_EQ(Tag(h, "%GNRE"), "Rock");
    EXPECT_EQ(Tag(h, "%CMNT"), "BE comment");
    BASS_StreamFree(h);
}

TEST_F(Id3Test, UnsynchronisationAndExtendedHeaders) {
    for (int version : {3, 4}) {
        simsamples::Id3Spec id3;
        id3.version = version;
        id3.unsync = true;
        id3.extendedHeader = true;
        id3.footer = version == 4;
        id3.frames = {simsamples::TextFrame("TIT2", "\xC3\xBF\xC3\xBF unsync \xC3\xBF", 1),  // FF bytes in UTF-16
                      simsamples::TextFrame("TPE1", "\xC3\xBF\xC3\xA0", 0),                  // FF E0 in Latin-1
                      simsamples::TextFrame("TCOM", "after", 0)};
        const std::uint32_t h = OpenWithTag(id3);
        ASSERT_NE(h, 0u) << version;
        EXPECT_EQ(Tag(h, "%TITL"), "\xC3\xBF\xC3\xBF unsync \xC3\xBF") << version;
        EXPECT_EQ(Tag(h, "%ARTI"), "\xC3\xBF\xC3\xA0") << version;
        EXPECT_EQ(Tag(h, "%COMP"), "after") << version;
        EXPECT_NEAR(BASS_ChannelGetLength(h, 0) / 4.0, 10 * 1152, 3) << version;  // CBR estimate
        BASS_StreamFree(h);
    }
}

TEST_F(Id3Test, V24SyncsafeAndPlainFrameSizes) {
    const std::string longText(300, 'x');  // sizes above 127 differ between the two forms
    for (bool plain : {false, true}) {
        simsamples::Id3Spec id3;
        id3.version = 4;
        id3.plainSizesIn24 = plain;
        id3.frames = {simsamples::TextFrame("TIT2", longText), simsamples::TextFrame("TPE1", "next frame")};
        const std::uint32_t h = OpenWithTag(id3);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(Tag(h, "%TITL"), longText) << plain;
        EXPECT_EQ(Tag(h, "%ARTI"), "next frame") << plain;
        BASS_StreamFree(h);
    }
}

TEST_F(Id3Test, V22FramesAndCommentChoiceAndSkippedFrames) {
    simsamples::Id3Spec v22;
    v22.version = 2;
    v22.frames = {simsamples::TextFrame("TT2", "v2.2 title", 0), simsamples::TextFrame("TP1", "v2.2 artist", 1),
                  simsamples::TextFrame("TYE", "1990", 0)};
    std::uint32_t h = OpenWithTag(v22);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, "%TITL|%ARTI|%YEAR"), "v2.2 title|v2.2 artist|1990");
    BASS_StreamFree(h);

    simsamples::Id3Spec v23;
    v23.version = 3;
    simsamples::Id3Frame compressed = simsamples::TextFrame("TALB", "");
    compressed.raw = {0, 0, 0, 9, 0x78, 0x9C, 0x01, 0x02, 0x03};  // decompressed size, zlib data
    compressed.formatFlags = 0x80;
    simsamples::Id3Frame apic = simsamples::TextFrame("APIC", "");
    apic.raw = Bytes(5000, 0xFF);
    v23.frames = {simsamples::CommentFrame("iTunNORM", " 0000 0000", 0),
                  apic,
                  compressed,
                  simsamples::CommentFrame("other", "described", 0),
                  simsamples::CommentFrame("", "plain comment", 0),
                  simsamples::TextFrame("TIT2", "title after picture", 0)};
    h = OpenWithTag(v23);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, "%CMNT"), "plain comment");
    EXPECT_EQ(Tag(h, "%TITL"), "title after picture");
    EXPECT_EQ(Tag(h, "%ALBM"), "");  // the compressed frame is skipped
    BASS_StreamFree(h);
}

}  // namespace
