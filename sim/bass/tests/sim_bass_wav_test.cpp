// The stand-in audio library's RIFF WAVE reader: PCM and float, sample sizes,
// chunk order, LIST/INFO tags and files it refuses.
#include "sim/bass/tests/sim_bass_fixture.h"

namespace {

using namespace simbass_test;

TEST_F(SimBassTest, WavPcmReportsInfoLengthFilePositionAndInfoTags) {
    const Bytes data = Sample("pcm16_stereo.wav");
    const std::u16string path = Write("pcm16_stereo.wav", data);
    const std::uint32_t h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, kProbeFlags);
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info = Info(h);
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.ctype, 0x50001u);
    EXPECT_EQ(info.origres, 16u);
    EXPECT_EQ(info.flags, kProbeFlags);
    ASSERT_NE(info.filename, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.filename)), path);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 88200u * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0)), 2.0);
    // The data chunk alone: the header before it and the LIST chunk after it are outside.
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_START), 44u);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), 88200u * 4);
    EXPECT_LT(44u + 88200 * 4, data.size());
    EXPECT_EQ(AllTags(h), (std::vector<std::string>{"PCM Sample", "Vellum Artist", "Vellum Album", "Ambient", "2024",
                                                    "16-bit stereo PCM", "1", "", "(c) vellumdb", "", "", ""}));
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST_F(SimBassTest, WavFloatMono) {
    const std::uint32_t h =
        BASS_StreamCreateFile(0, Write("f.wav", Sample("float_mono.wav")).c_str(), 0, 0, kProbeFlags);
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info = Info(h);
    EXPECT_EQ(info.freq, 22050u);
    EXPECT_EQ(info.chans, 1u);
    EXPECT_EQ(info.ctype, 0x50003u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 33075u * 2);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0)), 1.5);
    EXPECT_EQ(AllTags(h), std::vector<std::string>(12, ""));
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, WavSampleSizesExtensibleAndChunksInAnyOrder) {
    struct Case {
        std::uint16_t bits;
        bool isFloat, extensible, infoFirst;
        std::uint32_t ctype;
    } cases[] = {{8, false, false, false, 0x50001},  {24, false, false, true, 0x50001},
                 {32, false, false, false, 0x50001}, {24, false, true, false, 0x50001},
                 {64, true, false, true, 0x50003},   {32, true, true, false, 0x50003}};
    int n = 0;
    for (const Case& c : cases) {
        simsamples::WavSpec spec;
        spec.rate = 8000;
        spec.channels = 3;
        spec.bits = c.bits;
        spec.isFloat = c.isFloat;
        spec.extensible = c.extensible;
        spec.infoFirst = c.infoFirst;
        spec.frames = 1001;
        spec.info = {{"INAM", "odd"}, {"IMUS", "Composer X"}};
        const std::uint32_t h = Open(Write("v" + std::to_string(n++) + ".wav", simsamples::MakeWav(spec)));
        ASSERT_NE(h, 0u) << c.bits;
        EXPECT_EQ(Info(h).ctype, c.ctype);
        EXPECT_EQ(Info(h).chans, 3u);
        EXPECT_EQ(Info(h).origres, c.bits);
        EXPECT_EQ(BASS_ChannelGetLength(h, 0), 1001u * 3 * 2);
        EXPECT_EQ(Tag(h, kTitle), "odd");
        EXPECT_EQ(Tag(h, "%COMP"), "Composer X");
        BASS_StreamFree(h);
    }
}

TEST_F(SimBassTest, WavWithOtherCodecOrWithoutDataIsRejected) {
    simsamples::WavSpec adpcm;
    adpcm.formatTag = 2;
    EXPECT_EQ(BASS_StreamCreateFile(0, Write("adpcm.wav", simsamples::MakeWav(adpcm)).c_str(), 0, 0, kProbeFlags), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_CODEC);

    Bytes noData = {'R', 'I', 'F', 'F', 28, 0, 0,    0,    'W', 'A', 'V',  'E',  'f', 'm', 't', ' ', 16, 0,
                    0,   0,   1,   0,   2,  0, 0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,   4,   0,   16, 0};
    EXPECT_EQ(BASS_StreamCreateFile(0, Write("nodata.wav", noData).c_str(), 0, 0, kProbeFlags), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_FILEFORM);
}

TEST_F(SimBassTest, WavWhoseDataChunkRunsPastTheEndCountsTheBytesPresent) {
    Bytes data = Sample("pcm16_stereo.wav");
    data.resize(44 + 4000 + 3);  // 1000 whole frames and a partial one
    const std::uint32_t h = Open(Write("cut.wav", data));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 4000u);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), 4003u);
    BASS_StreamFree(h);
}

}  // namespace
