// The stand-in audio library's ProTracker MOD reader: music-only opening, what a
// music reports and how it is freed, and the length of a song played through
// its order list.
#include "sim/bass/tests/sim_bass_fixture.h"

namespace {

using namespace simbass_test;

TEST_F(SimBassTest, ModOpensOnlyAsMusicWithComputedLengthAndTitle) {
    const std::uint32_t loadedBefore = SIMBASS_LoadedMusics();
    const std::u16string path = Write("sample.mod", Sample("sample.mod"));
    EXPECT_EQ(BASS_StreamCreateFile(0, path.c_str(), 0, 0, kProbeFlags), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_FILEFORM);
    const std::uint32_t h = BASS_MusicLoad(0, path.c_str(), 0, 0, kProbeFlags, 0);
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info = Info(h);
    EXPECT_EQ(info.ctype, 0x20000u);
    EXPECT_EQ(info.flags, 0x200000u);  // the decode flag; BASS_UNICODE is not kept
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    // Loaded as the plugin loads it, without the prescan flag: no byte length.
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), kFail64);
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), kFail64);  // a music is no stream
    EXPECT_EQ(AllTags(h),
              (std::vector<std::string>{"vellumdb sample mod", "", "", "", "", "", "", "", "", "", "", ""}));
    // A music is no stream: BASS_StreamFree refuses it and it stays loaded.
    EXPECT_FALSE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_HANDLE);
    EXPECT_EQ(SIMBASS_LoadedMusics(), loadedBefore + 1);
    EXPECT_EQ(Info(h).ctype, 0x20000u);
    EXPECT_TRUE(BASS_MusicFree(h));
    EXPECT_EQ(SIMBASS_LoadedMusics(), loadedBefore);
    EXPECT_FALSE(BASS_ChannelGetInfo(h, &info));
    const std::uint32_t scanned = BASS_MusicLoad(0, path.c_str(), 0, 0, kProbeFlags | SIMBASS_MUSIC_PRESCAN, 0);
    ASSERT_NE(scanned, 0u);
    // Orders 0, 1, 0: 64 rows at speed 6, then speed 3 (F03) for 128 rows; 882 samples a tick.
    EXPECT_EQ(BASS_ChannelGetLength(scanned, 0), (64u * 6 + 128u * 3) * 882 * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(scanned, BASS_ChannelGetLength(scanned, 0)), 15.36);
    EXPECT_TRUE(BASS_ChannelFree(scanned));
    EXPECT_EQ(BASS_MusicLoad(0, Write("x.wav", Sample("pcm16_stereo.wav")).c_str(), 0, 0, kProbeFlags, 0), 0u);
}

TEST_F(SimBassTest, ModLengthFollowsSpeedTempoJumpsBreaksLoopsAndDelays) {
    using simsamples::ModCell;
    const std::uint64_t row = 6 * 882;  // samples of one row at speed 6, 125 BPM
    struct Case {
        const char* what;
        std::vector<std::uint8_t> orders;
        std::vector<ModCell> cells;
        std::uint64_t frames;
    } cases[] = {
        {"plain", {0}, {}, 64 * row},
        {"tempo 150", {0}, {{0, 0, 3, 0, 0, 0xF, 150}}, 64 * 6 * 735},
        {"break", {0, 1}, {{0, 15, 0, 0, 0, 0xD, 0x10}}, (16 + 54) * row},
        {"jump back", {0, 1}, {{1, 7, 1, 0, 0, 0xB, 0}}, (64 + 8) * row},
        {"jump past end", {0, 1}, {{0, 9, 1, 0, 0, 0xB, 9}}, 10 * row},
        {"pattern delay", {0}, {{0, 0, 0, 0, 0, 0xE, 0xE3}}, 67 * row},
        {"pattern loop", {0}, {{0, 4, 0, 0, 0, 0xE, 0x60}, {0, 7, 0, 0, 0, 0xE, 0x62}}, 72 * row},
        {"F00 stops", {0, 0}, {{0, 20, 2, 0, 0, 0xF, 0}}, 20 * row},
    };
    int n = 0;
    for (const Case& c : cases) {
        simsamples::ModSpec spec;
        spec.orders = c.orders;
        spec.cells = c.cells;
        const std::uint32_t h =
            BASS_MusicLoad(0, Write("c" + std::to_string(n++) + ".mod", simsamples::MakeMod(spec)).c_str(), 0, 0,
                           kProbeFlags | SIMBASS_MUSIC_PRESCAN, 0);
        ASSERT_NE(h, 0u) << c.what;
        EXPECT_EQ(BASS_ChannelGetLength(h, 0), c.frames * 4) << c.what;
        BASS_MusicFree(h);
    }
    simsamples::ModSpec eight;
    eight.signature = "8CHN";
    eight.channels = 8;
    const std::uint32_t h = BASS_MusicLoad(0, Write("eight.mod", simsamples::MakeMod(eight)).c_str(), 0, 0,
                                           SIMBASS_UNICODE | SIMBASS_MUSIC_PRESCAN, 22050);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Info(h).freq, 22050u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 64u * 6 * 441 * 4);
    BASS_MusicFree(h);
}

}  // namespace
