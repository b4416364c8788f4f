// RegisterFile on a real SQLite file, with the fake audio library and host.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "library/rows.h"
#include "maintenance/pending_work.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "fault_loop.h"
#include "platform/test_hooks.h"
#include "probe_fakes.h"
#include "temp_database.h"

namespace vellum {
namespace {

using testing::AlbumFile;
using testing::FakeAudio;
using testing::FakeFile;

// The fewest allocations a registration makes when none fails: the record and
// its 25 texts, the entry, the statement texts. A loop that reaches fewer no
// longer runs the whole registration.
constexpr int kProbedRecordAllocations = 40;
constexpr char16_t kSong[] = u"C:\\m\\song.flac";
constexpr char kSongUtf8[] = "C:\\m\\song.flac";

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
    RecordOwner Row(const char* name) { return RecordOwner(ReadTrackRow(connection(), name)); }
    std::string Rows() { return Scalar("SELECT COUNT(*) FROM list"); }
    // Every column of every row, "|" between values, ";" between rows.
    std::string AllRows() {
        std::string text;
        Statement rows(connection().Handle(), "SELECT * FROM list ORDER BY file_name");
        while (rows.Get() != nullptr && sqlite3_step(rows.Get()) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(rows.Get()); ++column) {
                const unsigned char* value = sqlite3_column_text(rows.Get(), column);
                text += value != nullptr ? reinterpret_cast<const char*>(value) : "NULL";
                text += '|';
            }
            text += ';';
        }
        return text;
    }

    FakeAudio& fake_ = FakeAudio::Instance();
    AudioLibrary audio_ = fake_.Bound();
    HostCue* host_ = nullptr;
};

TEST_F(RegisterFileTest, NewRowStartsWithUserColumnsAtZeroAndARefreshKeepsThem) {
    fake_.AddFile(kSong, AlbumFile("First", 215.5));
    Register(kSong, 0, 999);  // without a channel the given duration is ignored
    RecordOwner row = Row(kSongUtf8);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->statDuration, 215);
    EXPECT_STREQ(row->tagAlbum, "First");
    EXPECT_EQ(Scalar("SELECT rating || playcount || lastplayed || modify FROM list"), "0000");

    Exec("UPDATE list SET rating = 4, playcount = 7, lastplayed = 1700000000, modify = -5, tagComment = 'x'");
    fake_.AddFile(kSong, AlbumFile("Retagged", 180.0));
    Register(kSong);
    EXPECT_EQ(Rows(), "1");
    EXPECT_EQ(Scalar("SELECT rating||'/'||playcount||'/'||lastplayed||'/'||modify FROM list"), "4/7/1700000000/-5");
    row = Row(kSongUtf8);
    EXPECT_STREQ(row->tagAlbum, "Retagged");
    EXPECT_STREQ(row->tagComment, "");
    EXPECT_EQ(row->statDuration, 180);
}

TEST_F(RegisterFileTest, PlayingChannelAndItsDurationAreStoredAsGiven) {
    Register(kSong, fake_.AddChannel(AlbumFile("Live", 200.0).channel), 321);
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
    fake_.AddFile(u"C:\\m\\Song.flac", AlbumFile("A", 10));
    fake_.AddFile(kSong, AlbumFile("B", 10));
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

    fake_.AddFile(kSong, AlbumFile("Kept", 100));
    Register(kSong);
    fake_.Reset();  // the file is gone
    Register(kSong);
    RecordOwner row = Row(kSongUtf8);
    ASSERT_TRUE(row);
    EXPECT_STREQ(row->tagAlbum, "Kept");
    EXPECT_EQ(row->statDuration, 100);
}

// Every failed allocation, in the probe, the journal or SQLite, leaves the
// row as it was or writes it whole: never an empty key, a field cut short or a
// play count lost. Work that waits after a failure lands later (here when the
// connection closes).
TEST_F(RegisterFileTest, EveryFailedAllocationWritesTheWholeRowOrNothing) {
    fake_.AddFile(kSong, AlbumFile("Fresh", 100));
    Register(kSong);
    const std::string fresh = AllRows();
    ASSERT_NE(fresh.find("Fresh"), std::string::npos);
    int absent = 0;
    testing::FaultLoop insert;
    insert.setup = [&] { Exec("DELETE FROM list"); };
    insert.operation = [&] { Register(kSong); };
    insert.check = [&](bool faulted) {
        fake_.formatsAsked.clear();  // the fake's record of the run, not the plugin's
        Reconnect();                 // lands what waits; its helper thread ends
        Exec("PRAGMA synchronous = OFF");
        const std::string rows = AllRows();
        if (rows.empty() && faulted) ++absent;
        else EXPECT_EQ(rows, fresh);
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(insert), kProbedRecordAllocations);
    EXPECT_GT(absent, 0);

    fake_.AddFile(kSong, AlbumFile("Retagged", 180));
    Register(kSong);
    Exec("UPDATE list SET playcount = 9, rating = 2");
    const std::string retagged = AllRows();
    ASSERT_NE(retagged.find("Retagged"), std::string::npos);
    int kept = 0;
    testing::FaultLoop refresh;
    refresh.setup = [&] { Exec("UPDATE list SET tagAlbum = 'Old', statDuration = 1"); };
    refresh.operation = [&] { Register(kSong); };
    refresh.check = [&](bool faulted) {
        fake_.formatsAsked.clear();
        Reconnect();  // lands what waits; its helper thread ends
        Exec("PRAGMA synchronous = OFF");
        EXPECT_EQ(Scalar("SELECT COUNT(*) || ':' || playcount || '/' || rating FROM list"), "1:9/2");
        if (faulted && Scalar("SELECT tagAlbum || statDuration FROM list") == "Old1") ++kept;
        else EXPECT_EQ(AllRows(), retagged);
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(refresh), kProbedRecordAllocations);
    EXPECT_GT(kept, 0);
}

// The end-of-play update reads the row, adds one play and writes it back as
// one unit. Registering the same track meanwhile must never write back a play
// count read before that update.
TEST_F(RegisterFileTest, ConcurrentPlayCountUpdatesAreNeverLost) {
    fake_.AddFile(kSong, AlbumFile("Busy", 100));
    Register(kSong);
    constexpr int kPlays = 500;
    std::thread counter([this] {
        for (int play = 0; play < kPlays; ++play) CreditCompletedPlay(connection(), kSong, play);
    });
    for (int again = 0; again < kPlays; ++again) Register(kSong);
    counter.join();
    EXPECT_EQ(Scalar("SELECT playcount FROM list"), std::to_string(kPlays));
}

}  // namespace
}  // namespace vellum
