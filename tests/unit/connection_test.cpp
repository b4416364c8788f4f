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
#include "library/schema.h"
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

TEST_F(ConnectionTest, CreatesTheTableWithTheExactSchemaTextAndKeepsRowsOnReopen) {
    EXPECT_EQ(Scalar("SELECT sql FROM sqlite_master WHERE name = 'list'"), kCreateTableSql);
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

TEST_F(ConnectionTest, ShutDownCommitsOpenWorkAndLaterWorkIsSkipped) {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            Transaction transaction(connection());
            InsertName(("late" + std::to_string(i)).c_str());
            ReleaseTrackRecord(FindTrackRow(connection(), "late0"));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Transaction open(connection());
    connection().Close();
    EXPECT_EQ(connection().Handle(), nullptr);
    EXPECT_EQ(connection().Exec("SELECT 1"), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    writer.join();
    EXPECT_GT(CommittedRows(), 0);
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
