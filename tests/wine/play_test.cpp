// Play statistics on the stand-in host: a play start registers the track, a
// play that reaches its end (or its cue track's end) counts once.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>

#include <cstdio>

#include "host_run.h"

namespace vellum::wine {
namespace {

// This test's own process holding the library's file with its own SQLite:
// the write lock ("BEGIN IMMEDIATE") or a read lock (a stepped query). The
// hold ends `afterMs` after `done` first answers true (asked every
// kPollMs), or once `done` has been asked for kMostWaitMs.
class HeldFile {
public:
    static constexpr DWORD kPollMs = 50;
    static constexpr DWORD kMostWaitMs = 120000;  // as long as a host run may take

    HeldFile(const std::wstring& database, bool write, std::function<bool()> done, DWORD afterMs)
        : connection_(OpenSqlite(WideToUtf8(database))) {
        if (!connection_) return;
        sqlite3* connection = connection_.get();
        sqlite3_busy_timeout(connection, 10000);
        if (write) {
            locked_ = sqlite3_exec(connection, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        } else {
            reader_ = Prepare(connection, "SELECT file_name FROM list");
            locked_ = reader_ && sqlite3_step(reader_.get()) == SQLITE_ROW;
        }
        releaser_ = std::thread([this, connection, done = std::move(done), afterMs] {
            for (DWORD waited = 0; waited < kMostWaitMs && !done(); waited += kPollMs) Sleep(kPollMs);
            Sleep(afterMs);
            released_ = static_cast<long long>(std::time(nullptr));
            reader_.reset();
            if (!sqlite3_get_autocommit(connection)) sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr);
        });
    }
    // The hold ends first; the statement goes before its connection.
    ~HeldFile() { Join(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Locked() const { return locked_; }
    // Waits for the hold to end; the second it ended in (seconds since 1970).
    long long ReleasedAt() {
        Join();
        return released_;
    }

private:
    void Join() {
        if (releaser_.joinable()) releaser_.join();
    }

    SqliteConnection connection_;
    SqliteStatement reader_;
    bool locked_ = false;
    long long released_ = 0;
    std::thread releaser_;
};

class PlayStatistics : public ::testing::Test {
protected:
    void SetUp() override {
        InstallOptions options;
        options.extraPlugins = {L"zz_listener.qpl"};
        folder_.Install(options);
        WriteWav(Media(L"tone.wav"), 5);
        WriteWav(Media(L"other.wav"), 4);
        WriteWav(Media(L"album.wav"), 6);
        WriteBytes(Media(L"album.cue"),
                   "TITLE \"Album\"\r\nPERFORMER \"Band\"\r\nFILE \"album.wav\" WAVE\r\n"
                   "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    INDEX 01 00:00:00\r\n"
                   "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 01 00:02:00\r\n"
                   "  TRACK 03 AUDIO\r\n    INDEX 01 00:04:00\r\n");
    }

    std::wstring Media(const std::wstring& name) const { return folder_.Path() + L"\\" + name; }
    std::string Add(const std::wstring& name) const { return "add " + WideToUtf8(Media(name)) + "\n"; }
    std::string Row(const std::wstring& name, const std::string& columns) {
        return QueryValue(folder_.Database(),
                          "SELECT " + columns + " FROM list WHERE file_name = '" + WideToUtf8(Media(name)) + "'");
    }
    HostLog Run(const std::string& script) {
        HostLog log = folder_.Run(script);
        EXPECT_EQ(log.exitCode, 0) << log.Text();
        EXPECT_TRUE(log.Starting("error").empty()) << log.Text();
        return log;
    }

    HostFolder folder_;
};

TEST_F(PlayStatistics, AFirstPlayCreatesTheRowAndOnlyAPlayToTheEndCounts) {
    Run(Add(L"tone.wav") + "play 0\nplay-position 2\nstop\nwait-syncs\n");
    EXPECT_EQ(Row(L"tone.wav", "playcount || '/' || lastplayed || '/' || statDuration"), "0/0/5");

    Run(Add(L"tone.wav") + "play 0\nplay-end\nwait-syncs\n");
    EXPECT_EQ(Row(L"tone.wav", "playcount"), "1");
    EXPECT_NE(Row(L"tone.wav", "lastplayed"), "0");
    EXPECT_EQ(Row(L"tone.wav", "infoCodec_sub"), "wave pcm");
}

// Another Windows process holds the file while the player plays a track to its
// end: the count lands once the lock frees, with the time the play ended
// rather than the time it landed.
TEST_F(PlayStatistics, APlayEndedWhileAnotherProcessHoldsTheFileCountsOnceAfterTheLockFrees) {
    // The lock is held until the host has finished the play (its log shows the
    // command after wait-syncs) and kHeldPastTheEndMs longer, so the release
    // falls in a later second than the play's end. The script's last pause
    // outlasts that hold, and the count lands within about 0.1 s of the
    // release (vellumdb.h).
    constexpr DWORD kHeldPastTheEndMs = 2000;
    constexpr DWORD kLandingRoomMs = 3000;  // the poll's delay and the landing, many times over
    constexpr DWORD kLastPauseMs = kHeldPastTheEndMs + kLandingRoomMs;
    const std::wstring hostLog = folder_.Path() + L"\\host.log";
    Run(Add(L"tone.wav") + "play 0\nstop\n");
    int plays = 0;
    for (bool write : {false, true}) {
        const long long before = static_cast<long long>(std::time(nullptr));
        long long released = 0;
        {
            DeleteFileW(hostLog.c_str());
            const auto playDone = [&] { return ReadBytes(hostLog).find("> sleep ") != std::string::npos; };
            HeldFile held(folder_.Database(), write, playDone, kHeldPastTheEndMs);
            ASSERT_TRUE(held.Locked());
            Run(Add(L"tone.wav") + "play 0\nplay-end\nwait-syncs\nsleep " + std::to_string(kLastPauseMs) + "\n");
            released = held.ReleasedAt();
        }
        ++plays;
        EXPECT_EQ(Row(L"tone.wav", "playcount"), std::to_string(plays)) << (write ? "write lock" : "read lock");
        const long long ended = std::atoll(Row(L"tone.wav", "lastplayed").c_str());
        EXPECT_GE(ended, before);
        // A count stamped when it landed would carry the release's second or a later one.
        EXPECT_LT(ended, released);
    }
}

TEST_F(PlayStatistics, ACueTrackCountsWhenPlaybackPassesTheTracksEnd) {
    Run(Add(L"album.cue/1") + Add(L"album.cue/2") +
        "play 0\nplay-position 1\nwait-syncs\nsleep 100\n"
        "play-position 3\nwait-syncs\n");
    EXPECT_EQ(Row(L"album.cue/1", "playcount"), "1");
    EXPECT_EQ(Row(L"album.cue/1", "statDuration"), "2");
    EXPECT_EQ(Row(L"album.cue/1", "tagTitle || '|' || tagAlbum || '|' || tagArtist"), "One|Album|Band");
    EXPECT_EQ(Row(L"album.cue/2", "count(*)"), "0");  // never started, never registered
}

TEST_F(PlayStatistics, AStreamUrlCountsWhenItsChannelEnds) {
    Run("add http://radio.example/live\nplay 0\nplay-end\nwait-syncs\n");
    EXPECT_EQ(QueryValue(folder_.Database(),
                         "SELECT file_title || '/' || playcount || '/' || statSamplingrate FROM list "
                         "WHERE file_name = 'http://radio.example/live'"),
              "http://radio.example/live/1/0");
}

// The end-of-play callback credits the most recently started track, whichever
// channel's sync fired: a crossfade into B before A's end counts B.
TEST_F(PlayStatistics, ASyncFiringAfterTheNextStartCreditsTheNextTrack) {
    Run(Add(L"tone.wav") + Add(L"other.wav") + "play 0\nplay-over 1\nprevious-end\nwait-syncs\n");
    EXPECT_EQ(Row(L"tone.wav", "playcount"), "0");
    EXPECT_EQ(Row(L"other.wav", "playcount"), "1");
}

TEST_F(PlayStatistics, EveryStartAndEndIsAnnouncedToTheHostAndToListeners) {
    HostLog log =
        Run("watch-registered vellumdb_notify\n" + Add(L"tone.wav") + "play 0\nplay-end\nwait-syncs\nlastchange\n");
    EXPECT_EQ(log.Starting("received vellumdb_notify").size(), 2u) << log.Text();
    EXPECT_TRUE(log.Has("received vellumdb_notify wParam=1 lParam=0")) << log.Text();
    const std::string heard = ReadBytes(folder_.Plugins() + L"\\listener.log");
    EXPECT_EQ(heard.rfind("listening\n", 0), 0u) << heard;
    size_t count = 0;
    for (size_t at = heard.find("heard vellumdb_notify wParam=1 lParam=0"); at != std::string::npos;
         at = heard.find("heard vellumdb_notify wParam=1 lParam=0", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << heard;
}

// Event 2 with nothing playing: the host gives an empty path. Nothing is
// registered and no sync set, but the start is announced like any other.
TEST_F(PlayStatistics, AStartWithAnEmptyPathRegistersNothingYetIsAnnounced) {
    HostLog log = Run("watch-registered vellumdb_notify\ninit-tick\nsleep " + std::to_string(kPauseMs) +
                      "\nevent 2\nlastchange\n");
    EXPECT_EQ(QueryValue(folder_.Database(), "SELECT count(*) FROM list"), "0");
    EXPECT_EQ(log.Starting("received vellumdb_notify wParam=1 lParam=0").size(), 1u) << log.Text();
    const std::string heard = ReadBytes(folder_.Plugins() + L"\\listener.log");
    EXPECT_NE(heard.find("heard vellumdb_notify wParam=1 lParam=0"), std::string::npos) << heard;
    auto init = log.Starting("init-tick ");
    auto last = log.Starting("lastchange ");
    ASSERT_EQ(init.size(), 1u) << log.Text();
    ASSERT_EQ(last.size(), 1u) << log.Text();
    unsigned long before = 0, after = 0, moved = 0;
    ASSERT_EQ(std::sscanf(init[0].c_str(), "init-tick %lu %lu", &before, &after), 2);
    ASSERT_EQ(std::sscanf(last[0].c_str(), "lastchange %lu", &moved), 1);
    EXPECT_GE(moved - after, kTickMovedAtLeast);
}

}  // namespace
}  // namespace vellum::wine
