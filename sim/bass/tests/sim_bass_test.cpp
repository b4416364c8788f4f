// The stand-in audio library across formats: the TAGS format language, byte and
// second conversions, syncs and the control surface, handles, hostile input and
// the sample set.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

#include "sim/bass/tests/sim_bass_fixture.h"

namespace {

using namespace simbass_test;

// ------------------------------------------------------------ TAGS format

TEST_F(SimBassTest, TagsReadFormatForms) {
    simsamples::FlacSpec spec;
    spec.frames = 100;
    spec.comments = {"TITLE=", "ARTIST=A, B (live)", "ALBUM=  spaced  "};
    const std::uint32_t h = Open(Write("forms.flac", simsamples::MakeFlac(spec)));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, kTitle), "");                                   // present but empty
    EXPECT_EQ(Tag(h, "%IFV2(%GNRE,%UTF8(%GNRE),)"), "");             // absent
    EXPECT_EQ(Tag(h, "%IFV2(%ARTI,%UTF8(%ARTI),)"), "A, B (live)");  // commas and parentheses in the value
    EXPECT_EQ(Tag(h, "%IFV2(%TITL,[%TITL],no title)"), "no title");
    EXPECT_EQ(Tag(h, "%IFV1(%ARTI,by %ARTI)"), "by A, B (live)");
    EXPECT_EQ(Tag(h, "100%% %ITRM(%ALBM)!"), "100% spaced!");
    EXPECT_EQ(Tag(h, "%IUPC(%ARTI) %ILWC(ABC)"), "A, B (LIVE) abc");
    EXPECT_EQ(Tag(h, "%IFV2(%ARTI,x%,y,z)"), "x,y");
    EXPECT_EQ(Tag(h, "literal only"), "literal only");
    EXPECT_EQ(Tag(h, "%XYZW %"), "%XYZW %");
    EXPECT_EQ(Tag(h, "%IFV2(%ARTI,unterminated"), "unterminated");
    EXPECT_EQ(Tag(h, ""), "");
    EXPECT_EQ(Tag(h, nullptr), "");
    std::string deep;
    for (int i = 0; i < 200; ++i) deep += "%UTF8(";
    EXPECT_NE(TAGS_Read(h, deep.c_str()), nullptr);
    BASS_StreamFree(h);
    EXPECT_EQ(TAGS_Read(h, kTitle), nullptr);  // freed handle
    EXPECT_EQ(TAGS_Read(0, kTitle), nullptr);
    EXPECT_EQ(TAGS_Read(0x7FFFFFFF, kTitle), nullptr);
}

TEST_F(SimBassTest, TagsReadBuffersArePerThread) {
    const std::uint32_t a = Open(Write("a.flac", Sample("tagged.flac")));
    const std::uint32_t b = Open(Write("b.mp3", Sample("cbr_id3v23.mp3")));
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    std::atomic<int> bad{0};
    auto work = [&](std::uint32_t h, const std::string& expected) {
        for (int i = 0; i < 300; ++i) {
            const char* s = TAGS_Read(h, kTitle);
            if (!s || expected != s) ++bad;
        }
    };
    std::thread t1(work, a, "FLAC Sample"), t2(work, b, "Caf\xC3\xA9 CBR");
    t1.join();
    t2.join();
    EXPECT_EQ(bad.load(), 0);
    BASS_StreamFree(a);
    BASS_StreamFree(b);
}

// ------------------------------------------------------------ conversions

TEST_F(SimBassTest, SecondsToBytesRoundsDownToWholeFrames) {
    const std::uint32_t h = Open(Write("a.wav", Sample("album.wav")));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 6u * 44100 * 4);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 2.0), 88200u * 4);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0 / 75), 588u * 4);  // one CD frame
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 61.0 / 75), 35868u * 4);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 0.5 / 44100), 0u);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.5 / 44100), 4u);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, -1.0), kFail64);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, 4 * 44100 * 3), 3.0);
    BASS_StreamFree(h);
}

TEST_F(SimBassTest, AnsiPathsMemoryStreamsAndFileWindows) {
    const Bytes wav = Sample("pcm16_stereo.wav");
    const std::string utf8 = simbass::Utf16ToUtf8(Write("\xE9\x9F\xB3\xE6\xA5\xBD.wav", wav));  // a Japanese name
    std::uint32_t h = BASS_StreamCreateFile(0, utf8.c_str(), 0, 0, SIMBASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info = Info(h);
    EXPECT_EQ(info.flags, SIMBASS_STREAM_DECODE);
    EXPECT_STREQ(info.filename, utf8.c_str());
    BASS_StreamFree(h);

    Bytes padded(100 + wav.size(), 0xAA);
    std::copy(wav.begin(), wav.end(), padded.begin() + 100);
    h = BASS_StreamCreateFile(1, padded.data(), 100, wav.size(), SIMBASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Info(h).filename, nullptr);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), 88200u * 4);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), 88200u * 4);
    EXPECT_EQ(Tag(h, kTitle), "PCM Sample");
    BASS_StreamFree(h);
    EXPECT_EQ(BASS_StreamCreateFile(1, padded.data(), 0, 0, 0), 0u);  // memory needs a length

    h = BASS_StreamCreateFile(0, Write("padded.bin", padded).c_str(), 100, 0, kProbeFlags);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), 88200u * 4);
    BASS_StreamFree(h);

    EXPECT_EQ(BASS_StreamCreateFile(0, u"/no/such/file.wav", 0, 0, kProbeFlags), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_StreamCreateFile(0, simbass::Utf8ToUtf16(dir_.string()).c_str(), 0, 0, kProbeFlags), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(0, nullptr, 0, 0, kProbeFlags), 0u);
}

// ----------------------------------------------------------------- syncs

struct SyncEvent {
    std::uint32_t sync, channel, data;
    int tag;
    std::thread::id thread;
};
struct SyncLog {
    std::mutex mu;
    std::vector<SyncEvent> events;
};
struct SyncUser {
    SyncLog* log;
    int tag;
};

void SIMBASS_API RecordSync(std::uint32_t sync, std::uint32_t channel, std::uint32_t data, void* user) {
    auto* u = static_cast<SyncUser*>(user);
    std::lock_guard<std::mutex> lock(u->log->mu);
    u->log->events.push_back({sync, channel, data, u->tag, std::this_thread::get_id()});
}

std::vector<int> Tags(SyncLog& log) {
    std::lock_guard<std::mutex> lock(log.mu);
    std::vector<int> out;
    for (const auto& e : log.events) out.push_back(e.tag);
    return out;
}

TEST_F(SimBassTest, PositionSyncsFireAtCrossingAndEndSyncAtTheEndOnTheSyncThread) {
    const std::uint32_t ch = SIMBASS_PlayFile(Write("p.wav", Sample("pcm16_stereo.wav")).c_str());
    ASSERT_NE(ch, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(ch), SIMBASS_ACTIVE_PLAYING);
    EXPECT_EQ(Info(ch).flags & SIMBASS_STREAM_DECODE, 0u);
    const std::uint64_t len = BASS_ChannelGetLength(ch, 0);
    SyncLog log;
    SyncUser p3000{&log, 3000}, p1000{&log, 1000}, p2000{&log, 2000}, end{&log, -1};
    const std::uint32_t s3 = BASS_ChannelSetSync(ch, SIMBASS_SYNC_POS, 3000, RecordSync, &p3000);
    const std::uint32_t s1 = BASS_ChannelSetSync(ch, SIMBASS_SYNC_POS, 1000, RecordSync, &p1000);
    EXPECT_NE(BASS_ChannelSetSync(ch, SIMBASS_SYNC_POS, 2000, RecordSync, &p2000), 0u);
    const std::uint32_t se = BASS_ChannelSetSync(ch, SIMBASS_SYNC_END, 0, RecordSync, &end);
    EXPECT_NE(s3, 0u);
    EXPECT_NE(s1, s3);

    EXPECT_TRUE(SIMBASS_SetPosition(ch, 999));
    SIMBASS_WaitSyncs();
    EXPECT_TRUE(Tags(log).empty());
    EXPECT_TRUE(SIMBASS_SetPosition(ch, 1000));  // reaching the position crosses it
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), std::vector<int>{1000});
    EXPECT_TRUE(SIMBASS_SetPosition(ch, 1000));  // standing still crosses nothing
    EXPECT_TRUE(SIMBASS_SetPosition(ch, 3500));  // two at once, in order of position
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), (std::vector<int>{1000, 2000, 3000}));
    EXPECT_TRUE(SIMBASS_SetPosition(ch, 500));   // backwards: nothing
    EXPECT_TRUE(SIMBASS_SetPosition(ch, 1500));  // forwards again: fires again
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), (std::vector<int>{1000, 2000, 3000, 1000}));
    EXPECT_EQ(BASS_ChannelGetPosition(ch, 0), 1500u);
    EXPECT_TRUE(SIMBASS_SetPosition(ch, len * 2));  // clamped to the end
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), (std::vector<int>{1000, 2000, 3000, 1000, 2000, 3000, -1}));
    EXPECT_EQ(BASS_ChannelGetPosition(ch, 0), len);
    EXPECT_EQ(BASS_ChannelIsActive(ch), SIMBASS_ACTIVE_STOPPED);
    EXPECT_FALSE(SIMBASS_SetPosition(ch, len));  // the channel has ended
    {
        std::lock_guard<std::mutex> lock(log.mu);
        const std::thread::id sync_thread = log.events[0].thread;
        for (const auto& e : log.events) {
            EXPECT_EQ(e.channel, ch);
            EXPECT_EQ(e.data, 0u);
            EXPECT_NE(e.thread, std::this_thread::get_id());
            EXPECT_EQ(e.thread, sync_thread);  // one sync thread
        }
        EXPECT_EQ(log.events[0].sync, s1);
        EXPECT_EQ(log.events.back().sync, se);
    }
    EXPECT_TRUE(BASS_StreamFree(ch));
}

TEST_F(SimBassTest, StopFiresNothingAndOnetimeSyncsFireOnce) {
    const std::u16string path = Write("p.wav", Sample("pcm16_stereo.wav"));
    SyncLog log;
    SyncUser end{&log, -1}, once{&log, 7};
    std::uint32_t ch = SIMBASS_PlayFile(path.c_str());
    ASSERT_NE(ch, 0u);
    BASS_ChannelSetSync(ch, SIMBASS_SYNC_END, 0, RecordSync, &end);
    BASS_ChannelSetSync(ch, SIMBASS_SYNC_POS, 100, RecordSync, &end);
    EXPECT_TRUE(SIMBASS_Stop(ch));
    EXPECT_EQ(BASS_ChannelIsActive(ch), SIMBASS_ACTIVE_STOPPED);
    EXPECT_FALSE(SIMBASS_SetPosition(ch, BASS_ChannelGetLength(ch, 0)));
    SIMBASS_WaitSyncs();
    EXPECT_TRUE(Tags(log).empty());
    BASS_StreamFree(ch);

    ch = SIMBASS_PlayFile(path.c_str());
    ASSERT_NE(ch, 0u);
    BASS_ChannelSetSync(ch, SIMBASS_SYNC_POS | SIMBASS_SYNC_ONETIME, 100, RecordSync, &once);
    SIMBASS_SetPosition(ch, 200);
    SIMBASS_SetPosition(ch, 0);
    SIMBASS_SetPosition(ch, 200);
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), std::vector<int>{7});
    const std::uint32_t removable = BASS_ChannelSetSync(ch, SIMBASS_SYNC_END, 0, RecordSync, &end);
    EXPECT_TRUE(BASS_ChannelRemoveSync(ch, removable));
    EXPECT_FALSE(BASS_ChannelRemoveSync(ch, removable));
    SIMBASS_SetPosition(ch, ~0ull);
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), std::vector<int>{7});
    EXPECT_TRUE(BASS_ChannelPlay(ch, 1));  // restart: playing from 0 again
    EXPECT_EQ(BASS_ChannelGetPosition(ch, 0), 0u);
    BASS_StreamFree(ch);
}

TEST_F(SimBassTest, PlayUrlHasNoFileAndEndsAtItsLength) {
    const std::uint32_t ch = SIMBASS_PlayUrl(u"http://radio.example/stream", 10.0);
    ASSERT_NE(ch, 0u);
    BASS_CHANNELINFO info = Info(ch);
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(BASS_ChannelGetLength(ch, 0), 441000u * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(ch, BASS_ChannelGetLength(ch, 0)), 10.0);
    EXPECT_EQ(BASS_StreamGetFilePosition(ch, SIMBASS_FILEPOS_END), kFail64);
    EXPECT_EQ(AllTags(ch), std::vector<std::string>(12, ""));
    SyncLog log;
    SyncUser end{&log, -1};
    BASS_ChannelSetSync(ch, SIMBASS_SYNC_END, 0, RecordSync, &end);
    SIMBASS_SetPosition(ch, BASS_ChannelSeconds2Bytes(ch, 9.99));
    SIMBASS_WaitSyncs();
    EXPECT_TRUE(Tags(log).empty());
    SIMBASS_SetPosition(ch, BASS_ChannelSeconds2Bytes(ch, 10.0));
    SIMBASS_WaitSyncs();
    EXPECT_EQ(Tags(log), std::vector<int>{-1});
    BASS_StreamFree(ch);
}

struct Reentry {
    std::atomic<int> calls{0};
    std::atomic<std::uint64_t> length{0};
};

void SIMBASS_API ReenteringSync(std::uint32_t, std::uint32_t channel, std::uint32_t, void* user) {
    auto* r = static_cast<Reentry*>(user);
    r->length = BASS_ChannelGetLength(channel, 0);  // BASS is usable from a callback
    SIMBASS_WaitSyncs();                            // and waiting there returns at once
    ++r->calls;
}

TEST_F(SimBassTest, CallbacksMayCallBackAndFreeSyncsFire) {
    const std::uint32_t ch = SIMBASS_PlayFile(Write("v.mp3", Sample("vbr_xing_id3v24.mp3")).c_str());
    ASSERT_NE(ch, 0u);
    Reentry r;
    BASS_ChannelSetSync(ch, SIMBASS_SYNC_POS, 4, ReenteringSync, &r);
    BASS_ChannelSetSync(ch, SIMBASS_SYNC_FREE, 0, ReenteringSync, &r);
    SIMBASS_SetPosition(ch, 8);
    SIMBASS_WaitSyncs();
    EXPECT_EQ(r.calls.load(), 1);
    EXPECT_EQ(r.length.load(), 100u * 1152 * 4);
    EXPECT_TRUE(BASS_StreamFree(ch));
    SIMBASS_WaitSyncs();
    EXPECT_EQ(r.calls.load(), 2);
    EXPECT_EQ(r.length.load(), kFail64);  // the channel was gone by then
}

TEST_F(SimBassTest, FreedAndUnknownHandlesAreRejected) {
    const std::uint32_t ch = SIMBASS_PlayFile(Write("p.flac", Sample("tagged.flac")).c_str());
    ASSERT_NE(ch, 0u);
    EXPECT_TRUE(BASS_StreamFree(ch));
    BASS_CHANNELINFO info{};
    for (std::uint32_t h : {ch, 0u, 0xDEADBEEFu}) {
        EXPECT_FALSE(BASS_StreamFree(h));
        EXPECT_EQ(BASS_ErrorGetCode(), SIMBASS_ERROR_HANDLE);
        EXPECT_FALSE(BASS_ChannelGetInfo(h, &info));
        EXPECT_EQ(BASS_ChannelGetLength(h, 0), kFail64);
        EXPECT_LT(BASS_ChannelBytes2Seconds(h, 100), 0.0);
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), kFail64);
        EXPECT_EQ(BASS_StreamGetFilePosition(h, SIMBASS_FILEPOS_END), kFail64);
        EXPECT_EQ(BASS_ChannelSetSync(h, SIMBASS_SYNC_END, 0, RecordSync, nullptr), 0u);
        EXPECT_FALSE(SIMBASS_SetPosition(h, 10));
        EXPECT_FALSE(SIMBASS_Stop(h));
        EXPECT_EQ(BASS_ChannelGetTags(h, SIMBASS_TAG_OGG), nullptr);
        EXPECT_EQ(TAGS_Read(h, kTitle), nullptr);
    }
    // A new channel never gets the freed handle back.
    const std::uint32_t again = SIMBASS_PlayUrl(u"http://x/", 1.0);
    EXPECT_NE(again, ch);
    BASS_StreamFree(again);
}

TEST_F(SimBassTest, TheHandleTableIsThreadSafe) {
    const std::u16string path = Write("t.wav", Sample("float_mono.wav"));
    std::atomic<int> failures{0};
    std::atomic<int> fired{0};
    struct Counter {
        static void SIMBASS_API Fire(std::uint32_t, std::uint32_t, std::uint32_t, void* user) {
            ++*static_cast<std::atomic<int>*>(user);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                std::uint32_t ch = SIMBASS_PlayFile(path.c_str());
                if (!ch || Tag(ch, kTitle) != "") ++failures;
                BASS_ChannelSetSync(ch, SIMBASS_SYNC_END, 0, Counter::Fire, &fired);
                SIMBASS_SetPosition(ch, BASS_ChannelGetLength(ch, 0));
                if (!BASS_StreamFree(ch)) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    SIMBASS_WaitSyncs();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(fired.load(), 160);
}

// --------------------------------------------------------- hostile input

TEST_F(SimBassTest, GarbageAndTruncatedFilesAreRejectedWithoutCrashing) {
    const std::string text = "This is plainly not an audio file.\n";
    EXPECT_EQ(Open(Write("text.mp3", Bytes(text.begin(), text.end()))), 0u);
    EXPECT_EQ(Open(Write("empty.wav", {})), 0u);

    // Cut each sample at many lengths: short cuts are rejected, none crashes.
    int n = 0;
    for (const auto& f : simsamples::MakeSampleSet()) {
        if (f.name == "album.cue") continue;
        std::vector<std::size_t> cuts = {0, 1, 3, 4, 10, 11, 12, 20, 36, 43, 44, 100, 1083, 1084};
        for (std::size_t c = 1; c < 20; ++c) cuts.push_back(f.data.size() * c / 20);
        for (std::size_t cut : cuts) {
            if (cut > f.data.size()) continue;
            Bytes part(f.data.begin(), f.data.begin() + cut);
            const std::uint32_t h = Open(Write("cut" + std::to_string(n++), part));
            if (cut <= 12) {
                EXPECT_EQ(h, 0u) << f.name << " cut at " << cut;
            }
            if (h) {
                AllTags(h);
                EXPECT_NE(BASS_ChannelGetLength(h, 0), kFail64);
                BASS_StreamFree(h);
            }
        }
    }
    // Cut inside the FLAC metadata and inside the MOD pattern data: rejected.
    const Bytes flac = Sample("tagged.flac");
    EXPECT_EQ(Open(Write("meta.flac", Bytes(flac.begin(), flac.begin() + 100))), 0u);
    const Bytes mod = Sample("sample.mod");
    EXPECT_EQ(Open(Write("pat.mod", Bytes(mod.begin(), mod.begin() + 1084 + 1000))), 0u);
    // An ID3v2 tag that claims more than the file holds, with no audio after it.
    const Bytes mp3 = Sample("cbr_id3v23.mp3");
    EXPECT_EQ(Open(Write("tagonly.mp3", Bytes(mp3.begin(), mp3.begin() + 60))), 0u);
}

TEST_F(SimBassTest, HugeSizesInHeadersAreBounded) {
    auto le32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    // WAV: a LIST chunk of 4 GiB before fmt, and a data chunk of 4 GiB.
    simsamples::WavSpec spec;
    spec.frames = 100;
    spec.info = {{"INAM", "x"}};
    spec.infoFirst = true;
    Bytes wav = simsamples::MakeWav(spec);
    Bytes listHuge = wav;
    le32(listHuge, 12 + 12 + 4, 0xFFFFFFF0u);  // "junk" (3 + 1 pad) then LIST's size field
    EXPECT_EQ(Open(Write("list.wav", listHuge)), 0u);
    Bytes dataHuge = simsamples::MakeWav(simsamples::WavSpec{});
    le32(dataHuge, 40, 0xFFFFFFFFu);
    std::uint32_t h = Open(Write("data.wav", dataHuge));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, 0), (dataHuge.size() - 44) / 4 * 4);
    BASS_StreamFree(h);

    // ID3v2: a frame whose size is far beyond the tag, and an 8 MiB syncsafe size.
    simsamples::Id3Spec id3;
    id3.version = 4;
    id3.frames = {simsamples::TextFrame("TIT2", "good"), simsamples::TextFrame("TPE1", "bad")};
    Bytes tag = simsamples::MakeId3v2(id3);
    const std::size_t second = 10 + 10 + 5;  // header, TIT2 header, TIT2 body
    tag[second + 4] = 0x7F;
    tag[second + 5] = 0x7F;
    simsamples::Mp3Spec mp3;
    mp3.frames = 5;
    mp3.id3v2 = tag;
    h = Open(Write("frame.mp3", simsamples::MakeMp3(mp3)));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, "%TITL|%ARTI"), "good|");
    BASS_StreamFree(h);
    Bytes bigTag = tag;
    bigTag[6] = 0x04;  // the tag now claims 8 MiB
    mp3.id3v2 = bigTag;
    EXPECT_EQ(Open(Write("bigtag.mp3", simsamples::MakeMp3(mp3))), 0u);

    // FLAC: VORBIS_COMMENT with a huge vendor length and comment count.
    simsamples::FlacSpec fspec;
    fspec.frames = 10;
    fspec.comments = {"TITLE=t"};
    Bytes flac = simsamples::MakeFlac(fspec);
    const std::size_t vc = 4 + 4 + 34 + 4;  // fLaC, STREAMINFO, block header
    Bytes vendorHuge = flac;
    le32(vendorHuge, vc, 0xFFFFFFF0u);
    h = Open(Write("vendor.flac", vendorHuge));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, kTitle), "");
    BASS_StreamFree(h);
    Bytes countHuge = flac;
    le32(countHuge, vc + 4 + fspec.vendor.size(), 0xFFFFFFFFu);
    h = Open(Write("count.flac", countHuge));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tag(h, kTitle), "t");
    BASS_StreamFree(h);
    Bytes blockHuge = flac;
    blockHuge[vc - 3] = 0xFF;  // the comment block claims 16 MiB
    EXPECT_EQ(Open(Write("block.flac", blockHuge)), 0u);

    // MOD: a song length over 128 and an order naming pattern 255.
    Bytes mod = Sample("sample.mod");
    Bytes longSong = mod;
    longSong[950] = 200;
    EXPECT_EQ(BASS_MusicLoad(0, Write("long.mod", longSong).c_str(), 0, 0, SIMBASS_UNICODE, 0), 0u);
    Bytes farPattern = mod;
    farPattern[952] = 255;
    EXPECT_EQ(BASS_MusicLoad(0, Write("far.mod", farPattern).c_str(), 0, 0, SIMBASS_UNICODE, 0), 0u);
    const std::uint32_t ok = BASS_MusicLoad(0, Write("ok.mod", mod).c_str(), 0, 0, SIMBASS_UNICODE, 0);
    EXPECT_NE(ok, 0u);
    BASS_MusicFree(ok);
}

TEST_F(SimBassTest, CorruptedBytesNeverCrash) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int n = 0;
    for (const auto& f : simsamples::MakeSampleSet()) {
        if (f.name == "album.wav" || f.name == "pcm16_stereo.wav") continue;  // large and alike: float_mono covers WAV
        for (int round = 0; round < 40; ++round) {
            Bytes data = f.data;
            const std::size_t head = std::min<std::size_t>(data.size(), 2048);
            for (int k = 0; k < 8; ++k) data[next() % head] = static_cast<std::uint8_t>(next());
            const std::uint32_t h = Open(Write("fz" + std::to_string(n++), data));
            if (h) {
                AllTags(h);
                BASS_ChannelGetLength(h, 0);
                BASS_ChannelFree(h);
            }
        }
    }
    for (int round = 0; round < 40; ++round) {  // pure noise
        Bytes data(next() % 5000);
        for (auto& b : data) b = static_cast<std::uint8_t>(next());
        const std::uint32_t h = Open(Write("noise" + std::to_string(round), data));
        if (h) BASS_ChannelFree(h);
    }
    SUCCEED();
}

TEST_F(SimBassTest, SampleSetIsSmallAndComplete) {
    std::size_t total = 0;
    std::vector<std::string> names;
    for (const auto& f : simsamples::MakeSampleSet()) {
        total += f.data.size();
        names.push_back(f.name);
    }
    EXPECT_LT(total, 2u << 20);
    EXPECT_EQ(names, (std::vector<std::string>{"pcm16_stereo.wav", "float_mono.wav", "mono.aiff", "tagged.flac",
                                               "cbr_id3v23.mp3", "vbr_xing_id3v24.mp3", "sample.mod", "album.wav",
                                               "album.cue"}));
    const std::string folder = dir_.string();
    std::string error;
    ASSERT_TRUE(simsamples::WriteSampleSet(folder, &error)) << error;
    const std::uint32_t h = Open(simbass::Utf8ToUtf16(folder + "/album.wav"));
    ASSERT_NE(h, 0u);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0)), 6.0);
    BASS_StreamFree(h);
    const Bytes cue = Sample("album.cue");
    const std::string sheet(cue.begin(), cue.end());
    EXPECT_EQ(sheet.compare(0, 3, "\xEF\xBB\xBF"), 0);
    for (const char* line : {"FILE \"album.wav\" WAVE", "INDEX 01 00:00:00", "INDEX 01 00:02:00", "INDEX 01 00:04:00",
                             "REM COMPOSER", "REM DISCNUMBER", "REM GENRE", "REM DATE", "REM COMMENT"})
        EXPECT_NE(sheet.find(line), std::string::npos) << line;
}

}  // namespace
