// The connection access point: schema, transactions joined across threads,
// shut-down while work still arrives, busy waits and files that are not databases.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "library/rows.h"
#include "temp_database.h"

namespace vellum {
namespace {

class ConnectionTest : public TempDatabaseTest {
protected:
    void InsertName(const char* name) {
        RecordOwner record(NewTrackRecord());
        record->file_name = CopyText(name, std::char_traits<char>::length(name));
        InsertTrackRow(connection(), *record);
    }
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
    { Transaction joined(connection()); InsertName("raw"); }
    EXPECT_EQ(sqlite3_get_autocommit(connection().Handle()), 0);
    Exec("COMMIT");
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
