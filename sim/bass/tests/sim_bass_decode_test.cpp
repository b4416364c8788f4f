// A player without a sound card, as with the genuine library: after BASS_Init on
// the "no sound" device only decoding channels are made, and BASS_ChannelGetData
// drains them, running their position and end syncs on the draining thread.
#include <thread>
#include <vector>

#include "sim/bass/tests/sim_bass_fixture.h"

namespace {

using namespace simbass_test;

struct Fired {
    std::vector<std::uint64_t> positions;  // channel position when each sync ran
    int ends = 0;
    std::thread::id thread;
};

void SIMBASS_API OnPosition(std::uint32_t, std::uint32_t channel, std::uint32_t, void* user) {
    auto* fired = static_cast<Fired*>(user);
    fired->positions.push_back(BASS_ChannelGetPosition(channel, 0));
    fired->thread = std::this_thread::get_id();
}

void SIMBASS_API OnEnd(std::uint32_t, std::uint32_t, std::uint32_t, void* user) {
    auto* fired = static_cast<Fired*>(user);
    ++fired->ends;
    fired->thread = std::this_thread::get_id();
}

// Drains a channel in blocks of `block` bytes; returns the bytes handed out.
std::uint64_t Drain(std::uint32_t h, std::uint32_t block) {
    std::vector<char> buffer(block & 0x0FFFFFFFu);
    std::uint64_t total = 0;
    for (;;) {
        const std::uint32_t got = BASS_ChannelGetData(h, buffer.data(), block);
        if (got == ~0u) return total;
        total += got;
    }
}

TEST_F(SimBassTest, NoSoundDeviceMakesOnlyDecodingChannels) {
    const std::u16string path = Write("a.wav", Sample("pcm16_stereo.wav"));
    ASSERT_TRUE(BASS_Init(SIMBASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(SIMBASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_ALREADY);
    EXPECT_EQ(BASS_StreamCreateFile(0, path.c_str(), 0, 0, SIMBASS_UNICODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_NOTAVAIL);
    const std::uint32_t h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, kProbeFlags);
    EXPECT_NE(h, 0u);
    BASS_StreamFree(h);
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_INIT);
}

TEST_F(SimBassTest, DrainingADecodingChannelFiresItsSyncsOnTheDrainingThread) {
    const std::uint32_t h = Open(Write("a.wav", Sample("pcm16_stereo.wav")));
    ASSERT_NE(h, 0u);
    Fired fired;
    const std::uint64_t length = BASS_ChannelGetLength(h, 0);
    ASSERT_TRUE(BASS_ChannelSetSync(h, SIMBASS_SYNC_POS, length / 2, OnPosition, &fired));
    ASSERT_TRUE(BASS_ChannelSetSync(h, SIMBASS_SYNC_END, 0, OnEnd, &fired));
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, 0), 0u);
    EXPECT_EQ(Drain(h, 10000), length);
    // Both ran before the call that passed them returned, on this thread.
    EXPECT_EQ(fired.positions.size(), 1u);
    EXPECT_GE(fired.positions.at(0), length / 2);
    EXPECT_EQ(fired.ends, 1);
    EXPECT_EQ(fired.thread, std::this_thread::get_id());
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_ENDED);
    EXPECT_EQ(BASS_ChannelIsActive(h), SIMBASS_ACTIVE_STOPPED);
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, DrainingHandsOutWholeFramesOfShortOrFloatSamples) {
    const std::uint32_t h = Open(Write("a.wav", Sample("pcm16_stereo.wav")));
    ASSERT_NE(h, 0u);
    char buffer[64];
    EXPECT_EQ(BASS_ChannelGetData(h, buffer, 7), 4u);  // one stereo 16-bit frame
    EXPECT_EQ(BASS_ChannelGetData(h, buffer, 64 | SIMBASS_DATA_FLOAT), 64u);
    EXPECT_EQ(BASS_ChannelGetPosition(h, 0), 4u + 8 * 4);         // eight frames more
    EXPECT_EQ(BASS_ChannelGetData(h, buffer, 0x80000000u), ~0u);  // an FFT
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_NOTAVAIL);
    EXPECT_EQ(Drain(h, 4096 | SIMBASS_DATA_FLOAT), (88200u - 9) * 8);
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, AModuleWithoutByteLengthStillDrainsToItsEnd) {
    const std::uint32_t h = BASS_MusicLoad(0, Write("s.mod", Sample("sample.mod")).c_str(), 0, 0, kProbeFlags, 0);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), kFail64);
    Fired fired;
    ASSERT_TRUE(BASS_ChannelSetSync(h, SIMBASS_SYNC_END, 0, OnEnd, &fired));
    EXPECT_EQ(Drain(h, 1 << 16), (64u * 6 + 128u * 3) * 882 * 4);
    EXPECT_EQ(fired.ends, 1);
    EXPECT_TRUE(BASS_MusicFree(h));
}

}  // namespace
