// A player killed while a play's credit waits: another process holds the
// library's write lock while the player plays a track to its end, so the
// credit cannot land and waits in the plugin's store beside the library. The
// player is then ended with TerminateProcess (no shut-down, no event 1), the
// lock is released, and the next start of the player must count the play
// exactly once.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "host_run.h"

namespace vellum::wine {
namespace {

using Clock = std::chrono::steady_clock;

// How long the test waits for the player to reach a line of its script: a
// bound for a stuck player on a loaded machine, never a budget it must meet.
constexpr auto kGenerousWait = std::chrono::seconds(90);

// The test's own connection holding the library's write lock until Release.
class WriteLock {
public:
    explicit WriteLock(const std::wstring& database) : connection_(OpenSqlite(WideToUtf8(database))) {
        if (!connection_) return;
        sqlite3_busy_timeout(connection_.get(), 10000);
        locked_ = sqlite3_exec(connection_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock() { Release(); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool Locked() const { return locked_; }
    // A value as this connection reads it: the library's committed content.
    std::string Value(const std::string& sql) {
        const SqliteStatement statement = Prepare(connection_.get(), sql);
        if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return "";
        const unsigned char* text = sqlite3_column_text(statement.get(), 0);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
    }
    void Release() {
        if (connection_ && !sqlite3_get_autocommit(connection_.get()))
            sqlite3_exec(connection_.get(), "COMMIT", nullptr, nullptr, nullptr);
        locked_ = false;
    }

private:
    SqliteConnection connection_;
    bool locked_ = false;
};

class KilledPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Install();
        WriteWav(Track(), 3);
    }

    std::wstring Track() const { return folder_.Path() + L"\\tone.wav"; }
    std::string Plays() {
        return QueryValue(folder_.Database(),
                          "SELECT playcount FROM list WHERE file_name = '" + WideToUtf8(Track()) + "'");
    }
    HostLog Run(const std::string& script) {
        HostLog log = folder_.Run(script);
        EXPECT_EQ(log.exitCode, 0) << log.Text();
        EXPECT_TRUE(log.Starting("error").empty()) << log.Text();
        return log;
    }

    // Starts the player on `script` without waiting for it, as HostFolder::Run
    // starts it, logging to `log`.
    void Start(const std::string& script, const std::wstring& log, StartedProcess& player) {
        const std::wstring scriptPath = folder_.Path() + L"\\kill-script.txt";
        WriteBytes(scriptPath, script);
        DeleteFileW(log.c_str());
        const std::wstring command =
            L"\"" + folder_.Path() + L"\\host.exe\" --log \"" + log + L"\" \"" + scriptPath + L"\"";
        ASSERT_TRUE(StartProcess(command, player, 0, folder_.Path().c_str()));
    }

    // Waits until the log at `path` holds `line`, or the player has ended.
    static bool WaitForLine(const std::wstring& path, const std::string& line, HANDLE player) {
        const Clock::time_point giveUp = Clock::now() + kGenerousWait;
        while (Clock::now() < giveUp) {
            if (FileExists(path) && ReadBytes(path).find(line + "\n") != std::string::npos) return true;
            if (WaitForSingleObject(player, 50) == WAIT_OBJECT_0) return false;
        }
        return false;
    }

    HostFolder folder_;
};

// Ends a player a failed assertion left running, with the test.
class TerminateAtEnd {
public:
    explicit TerminateAtEnd(HANDLE process) : process_(process) {}
    ~TerminateAtEnd() {
        if (WaitForSingleObject(process_, 0) != WAIT_TIMEOUT) return;
        TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 30000);
    }
    TerminateAtEnd(const TerminateAtEnd&) = delete;
    TerminateAtEnd& operator=(const TerminateAtEnd&) = delete;

private:
    HANDLE process_;
};

TEST_F(KilledPlayer, ACreditWaitingForALockWhenThePlayerIsTerminatedCountsOnceAtTheNextStart) {
    // A first session registers the track, unplayed.
    Run("add " + WideToUtf8(Track()) + "\nplay 0\nstop\n");
    ASSERT_EQ(Plays(), "0");
    const long long before = static_cast<long long>(std::time(nullptr));

    WriteLock lock(folder_.Database());
    ASSERT_TRUE(lock.Locked());
    // The player plays the track to its end, waits for the end's callback, and
    // then idles until it is terminated.
    const std::wstring logPath = folder_.Path() + L"\\killed.log";
    StartedProcess player;
    ASSERT_NO_FATAL_FAILURE(
        Start("add " + WideToUtf8(Track()) + "\nplay 0\nplay-end\nwait-syncs\nsleep 600000\n", logPath, player));
    const TerminateAtEnd terminate(player.process.Get());
    const bool reached = WaitForLine(logPath, "> sleep 600000", player.process.Get());
    ASSERT_TRUE(reached) << (FileExists(logPath) ? ReadBytes(logPath) : "no log");
    ASSERT_TRUE(TerminateProcess(player.process.Get(), 9));
    ASSERT_EQ(WaitForSingleObject(player.process.Get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    const std::string killedLog = ReadBytes(logPath);
    EXPECT_EQ(killedLog.find("\nexit\n"), std::string::npos) << killedLog;  // no shut-down ran
    EXPECT_EQ(killedLog.find("error"), std::string::npos) << killedLog;

    // The credit could not land while the lock was held: it waits beside the library.
    EXPECT_EQ(lock.Value("SELECT playcount FROM list WHERE file_name = '" + WideToUtf8(Track()) + "'"), "0");
    EXPECT_TRUE(FileExists(folder_.Database(L"vellumdb-pending.db")));
    lock.Release();

    // The next start lands it; the one after finds nothing more to land.
    Run("");
    EXPECT_EQ(Plays(), "1");
    const long long ended = std::atoll(
        QueryValue(folder_.Database(), "SELECT lastplayed FROM list WHERE file_name = '" + WideToUtf8(Track()) + "'")
            .c_str());
    EXPECT_GE(ended, before);
    Run("");
    EXPECT_EQ(Plays(), "1");
    EXPECT_EQ(QueryValue(folder_.Database(), "SELECT count(*) FROM list"), "1");
    EXPECT_EQ(QueryValue(folder_.Database(), "PRAGMA integrity_check"), "ok");
}

}  // namespace
}  // namespace vellum::wine
