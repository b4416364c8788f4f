// The connection access point: schema, counted transactions shared across
// threads and with other plugins' statements on the raw handle, shut-down while
// work still arrives or waits, busy waits and files that are not databases.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "library/rows.h"
#include "library/schema.h"
#include "maintenance/pending_work.h"
#include "temp_database.h"

namespace vellum {
namespace {

class ConnectionTest : public TempDatabaseTest {
protected:
    // Registers a row holding just the name, as the plugin's writes do.
    LibraryConnection::Outcome InsertName(const std::string& name) {
        RecordOwner record(NewTrackRecord());
        record->file_name = CopyText(name.c_str(), name.size());
        return connection().Submit(MakeRegistration(std::move(record)), true);
    }
    void Credit(const std::string& name, std::int32_t endedAt) {
        connection().Submit(MakePlayCredit(name, endedAt), false);
    }
    // Counts every commit on the connection, the plugin's and other plugins'.
    void CountCommits() {
        sqlite3_commit_hook(
            connection().Handle(),
            [](void* count) {
                ++*static_cast<int*>(count);
                return 0;
            },
            &commits_);
    }
    bool InTransaction() { return sqlite3_get_autocommit(connection().Handle()) == 0; }
    int commits_ = 0;
    // Counts rows as another connection sees them (committed data only).
    int CommittedRows() { return std::stoi(Committed("SELECT count(*) FROM list")); }
};

// The table statement as stored files have it, written out here on its own so
// that a change to the code's copy shows.
const char kStoredSchema[] =
    "CREATE TABLE list(file_name TEXT UNIQUE , file_title TEXT , file_ext TEXT , file_size INTEGER DEFAULT 0 , "
    "statDuration INTEGER DEFAULT 0 , statChannels INTEGER DEFAULT 0 , statSamplingrate INTEGER DEFAULT 0 , "
    "statBitrate INTEGER DEFAULT 0 , infoCodec_sub TEXT , rating INTEGER DEFAULT 0 , playcount INTEGER DEFAULT 0 "
    ", lastplayed INTEGER DEFAULT 0 , modify INTEGER DEFAULT 0 , tagTitle TEXT , tagArtist TEXT , tagAlbum TEXT , "
    "tagGenre TEXT , tagDate TEXT , tagComment TEXT , tagTracknumber TEXT , tagPerformer TEXT , tagCopyright TEXT "
    ", tagSubtitle TEXT , tagAlbumArtist TEXT , tagDiscNumber TEXT , PRIMARY KEY(file_name))";

TEST_F(ConnectionTest, CreatesTheTableWithTheExactSchemaTextAndKeepsRowsOnReopen) {
    EXPECT_EQ(Scalar("SELECT sql FROM sqlite_master WHERE name = 'list'"), kStoredSchema);
    InsertName("kept");
    connection().Close();
    ASSERT_TRUE(connection().Open(DatabasePath()));
    EXPECT_EQ(Scalar("SELECT file_name FROM list"), "kept");
}

TEST_F(ConnectionTest, AJoinedTransactionSendsNoSecondBeginAndNoEarlyCommit) {
    std::vector<std::string> seen;
    sqlite3_trace_v2(
        connection().Handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* context, void*, void* text) {
            std::string sql = static_cast<const char*>(text);
            if (sql == "BEGIN" || sql == "COMMIT") static_cast<std::vector<std::string>*>(context)->push_back(sql);
            return 0;
        },
        &seen);
    {
        Transaction batch(connection());
        InsertName("one");
        std::thread other([&] {
            Transaction joined(connection());
            InsertName("two");
        });
        other.join();
        EXPECT_EQ(CommittedRows(), 0);  // nothing committed by the joiner
    }
    EXPECT_EQ(CommittedRows(), 2);
    EXPECT_EQ(seen, (std::vector<std::string>{"BEGIN", "COMMIT"}));
}

TEST_F(ConnectionTest, AJoinerInsideATransactionOpenedOnTheRawHandleLeavesItOpen) {
    Exec("BEGIN");
    {
        Transaction joined(connection());
        InsertName("raw");
    }
    EXPECT_TRUE(InTransaction());
    Exec("COMMIT");
    EXPECT_EQ(CommittedRows(), 1);
}

// Play credits and other plugins' AddFile calls during a batch join its one
// transaction; a COMMIT another plugin sends ends it once more, and the batch
// opens a new one at its next write.
TEST_F(ConnectionTest, ABatchWithCreditsAndAddFilesInterleavedCommitsOncePlusOncePerForeignCommit) {
    InsertName("played");
    for (int foreignCommits : {0, 1, 3}) {
        commits_ = 0;
        CountCommits();
        {
            Transaction batch(connection());
            for (int i = 0; i < 40; ++i) {
                InsertName("batch" + std::to_string(foreignCommits) + "_" + std::to_string(i));
                if (i % 5 == 0)
                    std::thread([&] {
                        Transaction end(connection());
                        Credit("played", 1700000000 + i);
                    }).join();
                if (i % 7 == 0) std::thread([&] { InsertName("api" + std::to_string(i)); }).join();
                if (i % 10 == 5 && i / 10 < foreignCommits) Exec("COMMIT");
            }
            EXPECT_TRUE(InTransaction());
        }
        EXPECT_FALSE(InTransaction());
        EXPECT_EQ(commits_, 1 + foreignCommits);
    }
    EXPECT_EQ(Committed("SELECT playcount || '@' || lastplayed FROM list WHERE file_name = 'played'"), "24@1700000035");
    EXPECT_EQ(CommittedRows(), 1 + 3 * 40 + 6);
}

// A ROLLBACK another plugin sends undoes the plugin's work in the transaction;
// the plugin notices and writes it again, exactly once.
TEST_F(ConnectionTest, AForeignRollbackIsUndoneAndEveryCreditStillCountsOnce) {
    InsertName("played");
    {
        Transaction batch(connection());
        InsertName("first");
        Credit("played", 1700000001);
        Exec("ROLLBACK");
        InsertName("second");
        Exec("SAVEPOINT theirs");
        Credit("played", 1700000002);
        Exec("ROLLBACK TO theirs");
        Exec("RELEASE theirs");
        InsertName("third");
    }
    Exec("BEGIN");  // another plugin's transaction, joined by AddFile and then rolled back
    InsertName("joined");
    Exec("ROLLBACK");
    EXPECT_TRUE(connection().Flush(std::chrono::milliseconds(0)));
    EXPECT_EQ(Committed("SELECT file_name FROM list ORDER BY file_name"), "first;joined;played;second;third");
    EXPECT_EQ(Committed("SELECT playcount || '@' || lastplayed FROM list WHERE file_name = 'played'"), "2@1700000002");
}

TEST_F(ConnectionTest, APlayCountStoredAtTheTopOfItsRangeStaysThere) {
    InsertName("top");
    Exec("UPDATE list SET playcount = 2147483646 WHERE file_name = 'top'");
    Credit("top", 1700000001);
    Credit("top", 1700000002);
    EXPECT_EQ(Committed("SELECT playcount || '@' || lastplayed FROM list"), "2147483647@1700000002");
    EXPECT_EQ(SaturatingAdd(2147483647, 2147483647), 2147483647);
    EXPECT_EQ(SaturatingAdd(-5, 2), -3);
}

// Shut-down waits a few seconds for another program's write lock, then lands
// what waited for it.
TEST_F(ConnectionTest, ShutDownWaitsBoundedlyForALockAndLandsWhatWaited) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(DatabasePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(InsertName("waited"), LibraryConnection::Outcome::Pending);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    const auto start = std::chrono::steady_clock::now();
    connection().Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              LibraryConnection::kShutdownWait + std::chrono::milliseconds(300));
    release.join();
    sqlite3_close(other);
    ASSERT_TRUE(connection().Open(DatabasePath()));
    EXPECT_EQ(CommittedRows(), 1);
}

// The transaction open at shut-down is this thread's own, so only Close can
// commit it: both its row and those another thread added to it meanwhile.
TEST_F(ConnectionTest, ShutDownCommitsOpenWorkAndLaterWorkIsSkipped) {
    std::atomic<bool> hold{true}, held{false}, stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            if (hold) {
                held = true;
                std::this_thread::yield();
                continue;
            }
            Transaction transaction(connection());
            InsertName(("late" + std::to_string(i)).c_str());
            ReleaseTrackRecord(FindTrackRow(connection(), "late0"));
            if (connection().Handle() != nullptr) ++written;
        }
    });
    while (!held) std::this_thread::yield();
    Transaction open(connection());
    InsertName("open work");
    hold = false;
    while (written < 5) std::this_thread::yield();
    EXPECT_EQ(CommittedRows(), 0);  // nothing of the open transaction is committed yet
    connection().Close();
    EXPECT_EQ(connection().Handle(), nullptr);
    EXPECT_EQ(connection().Exec("SELECT 1"), -1);
    const int committed = CommittedRows();
    EXPECT_EQ(Committed("SELECT count(*) FROM list WHERE file_name = 'open work'"), "1");
    EXPECT_GE(committed, 1 + 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    writer.join();
    EXPECT_EQ(CommittedRows(), committed);  // work after Close was skipped
}

TEST_F(ConnectionTest, AWriteWaitsForAnotherConnectionsShortLock) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(DatabasePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    InsertName("waited");
    release.join();
    sqlite3_close(other);
    EXPECT_EQ(CommittedRows(), 1);
}

TEST_F(ConnectionTest, AFileThatIsNotADatabaseIsNeitherOpenedNorChanged) {
    connection().Close();
    const std::string text = "my notes, not a database\n" + std::string(5000, 'x');
    std::ofstream(DatabasePath(), std::ios::binary | std::ios::trunc) << text;
    EXPECT_FALSE(connection().Open(DatabasePath()));
    EXPECT_EQ(connection().Handle(), nullptr);
    InsertName("ignored");
    std::ifstream in(DatabasePath(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
}

}  // namespace
}  // namespace vellum
