// RegisterFile on a real SQLite file, with the fake audio library and host.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "library/rows.h"
#include "maintenance/register_file.h"
#include "platform/test_hooks.h"
#include "probe_fakes.h"
#include "temp_database.h"

namespace vellum {
namespace {

using testing::FakeAudio;
using testing::FakeFile;

constexpr char16_t kSong[] = u"C:\\m\\song.flac";
constexpr char kSongUtf8[] = "C:\\m\\song.flac";

FakeFile SongFile(const std::string& album, double seconds) {
    FakeFile file;
    file.channel.seconds = seconds;
    file.channel.tags["%IFV2(%ALBM,%UTF8(%ALBM),)"] = album;
    return file;
}

class RegisterFileTest : public TempDatabaseTest {
protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        Exec("PRAGMA synchronous = OFF");  // speed only: nothing here needs durability
        fake_.Reset();
    }
    void TearDown() override {
        platform::FailHeapAllocationAfter(-1);
        TempDatabaseTest::TearDown();
    }
    void Register(std::u16string_view path, AudioHandle channel = 0, std::int32_t duration = 0) {
        RegisterFile(ProbeContext{audio_, host_}, connection(), channel, path, duration);
    }
    RecordOwner Row(const char* name) { return RecordOwner(FindTrackRow(connection(), name)); }
    std::string Rows() { return Scalar("SELECT COUNT(*) FROM list"); }

    FakeAudio& fake_ = FakeAudio::Instance();
    AudioLibrary audio_ = fake_.Bound();
    HostCue* host_ = nullptr;
};

TEST_F(RegisterFileTest, NewRowStartsWithUserColumnsAtZeroAndARefreshKeepsThem) {
    fake_.AddFile(kSong, SongFile("First", 215.5));
    Register(kSong, 0, 999);  // without a channel the given duration is ignored
    RecordOwner row = Row(kSongUtf8);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->statDuration, 215);
    EXPECT_STREQ(row->tagAlbum, "First");
    EXPECT_EQ(Scalar("SELECT rating || playcount || lastplayed || modify FROM list"), "0000");

    Exec("UPDATE list SET rating = 4, playcount = 7, lastplayed = 1700000000, modify = -5, tagComment = 'x'");
    fake_.AddFile(kSong, SongFile("Retagged", 180.0));
    Register(kSong);
    EXPECT_EQ(Rows(), "1");
    EXPECT_EQ(Scalar("SELECT rating||'/'||playcount||'/'||lastplayed||'/'||modify FROM list"), "4/7/1700000000/-5");
    row = Row(kSongUtf8);
    EXPECT_STREQ(row->tagAlbum, "Retagged");
    EXPECT_STREQ(row->tagComment, "");
    EXPECT_EQ(row->statDuration, 180);
}

TEST_F(RegisterFileTest, PlayingChannelAndItsDurationAreStoredAsGiven) {
    Register(kSong, fake_.AddChannel(SongFile("Live", 200.0).channel), 321);
    RecordOwner row = Row(kSongUtf8);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->statDuration, 321);
    EXPECT_STREQ(row->tagAlbum, "Live");
    EXPECT_EQ(fake_.opened, 0);
}

TEST_F(RegisterFileTest, UrlsAndCaseDistinctPathsGetRowsOfTheirOwn) {
    Register(u"http://radio.example/stream", 77, 60);
    RecordOwner url = Row("http://radio.example/stream");
    ASSERT_TRUE(url);
    EXPECT_STREQ(url->file_title, "http://radio.example/stream");
    EXPECT_EQ(url->statDuration, 0);
    fake_.AddFile(u"C:\\m\\Song.flac", SongFile("A", 10));
    fake_.AddFile(kSong, SongFile("B", 10));
    Register(u"C:\\m\\Song.flac");
    Register(kSong);
    EXPECT_EQ(Rows(), "3");
}

TEST_F(RegisterFileTest, TrackThatCannotBeOpenedOrResolvedWritesNothing) {
    Register(kSong);
    Register(u"C:\\m\\album.cue/3");  // no host interface
    testing::FakeHostCue host(true);
    host_ = &host;
    Register(u"C:\\m\\archive.zip/1.mp3");  // a path the host does not know
    EXPECT_EQ(Rows(), "0");

    fake_.AddFile(kSong, SongFile("Kept", 100));
    Register(kSong);
    fake_.Reset();  // the file is gone
    Register(kSong);
    RecordOwner row = Row(kSongUtf8);
    ASSERT_TRUE(row);
    EXPECT_STREQ(row->tagAlbum, "Kept");
    EXPECT_EQ(row->statDuration, 100);
}

TEST_F(RegisterFileTest, FailedAllocationsNeverWriteAnEmptyKeyNorLoseAStoredRow) {
    fake_.AddFile(kSong, SongFile("Fresh", 100));
    // The record and its file_name.
    for (int fail : {0, 1}) {
        platform::FailHeapAllocationAfter(fail);
        Register(kSong);
        platform::FailHeapAllocationAfter(-1);
        EXPECT_EQ(Rows(), "0") << "failing allocation " << fail;
    }
    for (int fail = 0; fail < 50; ++fail) {
        platform::FailHeapAllocationAfter(fail);
        Register(kSong);
        platform::FailHeapAllocationAfter(-1);
        EXPECT_EQ(Scalar("SELECT COUNT(*) FROM list WHERE file_name <> 'C:\\m\\song.flac'"), "0") << fail;
    }
    Exec("DELETE FROM list");
    Register(kSong);
    Exec("UPDATE list SET playcount = 9, rating = 2");
    for (int fail = 0; fail < 50; ++fail) {
        platform::FailHeapAllocationAfter(fail);
        Register(kSong);
        platform::FailHeapAllocationAfter(-1);
        EXPECT_EQ(Scalar("SELECT COUNT(*) || ':' || playcount || '/' || rating FROM list"), "1:9/2") << fail;
    }
}

// The end-of-play update reads the row, adds one play and writes it back under
// the connection's lock. Registering the same track meanwhile must never write
// back a play count read before that update.
TEST_F(RegisterFileTest, ConcurrentPlayCountUpdatesAreNeverLost) {
    fake_.AddFile(kSong, SongFile("Busy", 100));
    Register(kSong);
    constexpr int kPlays = 500;
    std::thread counter([this] {
        for (int play = 0; play < kPlays; ++play) {
            platform::ScopedLock hold(connection().Lock());
            RecordOwner row(FindTrackRow(connection(), kSongUtf8));
            ++row->playcount;
            UpdateTrackRow(connection(), *row);
        }
    });
    for (int again = 0; again < kPlays; ++again) Register(kSong);
    counter.join();
    EXPECT_EQ(Scalar("SELECT playcount FROM list"), std::to_string(kPlays));
}

}  // namespace
}  // namespace vellum
