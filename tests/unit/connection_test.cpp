// The connection's promise: every acknowledged piece of the plugin's work is
// in the library exactly once, whatever another plugin does on the shared
// handle (BEGIN, COMMIT, ROLLBACK, its own busy handler, writes of its own
// columns), whatever another program holds, and across shut-down; and no
// caller waits for another program's lock.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "library/schema.h"
#include "library/work_entry.h"
#include "maintenance/batch_worker.h"
#include "maintenance/pending_work.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "foreign_lock.h"
#include "temp_database.h"

namespace vellum {
namespace {

const VellumLibraryInterface& kApi = kLibraryInterface;

std::string Url(int i) { return "http://radio/" + std::to_string(i); }

using testing::ForeignLock;

class NullSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t index) override { return index != stopAt; }
    void Finished() override {}
    std::size_t stopAt = SIZE_MAX;
};

class ConnectionTest : public TempDatabaseTest {
protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        Speed();
    }
    // Only to keep the loops short; no case here depends on the disk's sync.
    void Speed() {
        connection().ReadWith([](sqlite3* writer) {
            return sqlite3_exec(writer, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
        });
    }
    LibraryConnection::Outcome Add(const std::string& url) {
        return RegisterFile(ProbeContext{audio_, nullptr}, connection(), 0, platform::Utf8ToUtf16(url), 0);
    }
    bool Credit(const std::string& url, std::int32_t endedAt = 1700000000) {
        return CreditCompletedPlay(connection(), platform::Utf8ToUtf16(url), endedAt);
    }
    std::size_t Batch(BatchMode mode, int from, int count, NullSink sink = NullSink()) {
        BatchPathList paths;
        for (int i = from; i < from + count; ++i) paths.Append(platform::Utf8ToUtf16(Url(i)));
        const ProbeContext probe{audio_, nullptr};
        return RunBatch(BatchJob{mode, paths, connection(), probe}, sink);
    }
    int Count(const std::string& where) { return std::stoi(Committed("SELECT count(*) FROM list WHERE " + where)); }
    std::string Plays(const std::string& url) {
        return Committed("SELECT playcount FROM list WHERE file_name = '" + url + "'");
    }
    void Land() { ASSERT_TRUE(connection().LandWaitingWork(kGenerousWait)); }
    // Runs `sql` on the shared handle, as another plugin does.
    int Foreign(const char* sql) { return sqlite3_exec(connection().Handle(), sql, nullptr, nullptr, nullptr); }

    AudioLibrary audio_{};
};

// The table statement as stored files have it, written out here on its own so
// that a change to the code's copy shows; the plugin adds nothing else to the
// library's schema, its waiting work lives in a file of its own.
TEST_F(ConnectionTest, TheLibraryHoldsTheExactSchemaAndNothingElse) {
    const char kStoredSchema[] =
        "CREATE TABLE list(file_name TEXT UNIQUE , file_title TEXT , file_ext TEXT , file_size INTEGER DEFAULT 0 , "
        "statDuration INTEGER DEFAULT 0 , statChannels INTEGER DEFAULT 0 , statSamplingrate INTEGER DEFAULT 0 , "
        "statBitrate INTEGER DEFAULT 0 , infoCodec_sub TEXT , rating INTEGER DEFAULT 0 , playcount INTEGER "
        "DEFAULT 0 , lastplayed INTEGER DEFAULT 0 , modify INTEGER DEFAULT 0 , tagTitle TEXT , tagArtist TEXT , "
        "tagAlbum TEXT , tagGenre TEXT , tagDate TEXT , tagComment TEXT , tagTracknumber TEXT , tagPerformer TEXT "
        ", tagCopyright TEXT , tagSubtitle TEXT , tagAlbumArtist TEXT , tagDiscNumber TEXT , PRIMARY "
        "KEY(file_name))";
    EXPECT_EQ(std::string(kCreateTableSql), kStoredSchema);
    {
        ForeignLock other(DatabasePath(), ForeignLock::Write);
        Add(Url(1));  // waits in the store
    }
    Land();
    Reconnect();
    EXPECT_EQ(Committed("SELECT type || ':' || name FROM sqlite_master ORDER BY name"),
              "table:list;index:sqlite_autoindex_list_1");
    EXPECT_EQ(Committed("SELECT sql FROM sqlite_master WHERE name = 'list'"), kStoredSchema);
}

// Another plugin's ROLLBACK in the middle of the plugin's work, as often as it
// likes, undoes nothing of it: the plugin never writes through the shared
// handle, so no entry can be split or caught in someone else's transaction.
TEST_F(ConnectionTest, AnotherPluginsRollbacksDuringBatchesUndoNothingOfThem) {
    constexpr int kItems = 600;
    ASSERT_EQ(Batch(BatchMode::Add, 0, kItems), static_cast<std::size_t>(kItems));
    std::atomic<bool> stop{false};
    std::thread rollbacks([&] {
        while (!stop) {
            Foreign("BEGIN");
            Foreign("INSERT INTO list(file_name) VALUES('foreign')");
            Foreign("ROLLBACK");
        }
    });
    Batch(BatchMode::Remove, 0, kItems / 2);
    Batch(BatchMode::Add, kItems, kItems / 2);
    stop = true;
    rollbacks.join();
    Land();
    EXPECT_EQ(Count("file_name LIKE 'http://radio/%'"), kItems);
    EXPECT_EQ(Count("file_name = 'foreign'"), 0);
}

// A plugin grouping AddFile calls in a transaction of its own on the shared
// handle, as the header advises, then rolling back: every call, and a play
// credited meanwhile, is still there once, however many there were.
TEST_F(ConnectionTest, AForeignRollbackOfAGroupOfFiveThousandAddFilesLosesNone) {
    Add(Url(-1));
    ASSERT_EQ(Foreign("BEGIN"), SQLITE_OK);
    constexpr int kCalls = 5000;
    for (int i = 0; i < kCalls; ++i) EXPECT_EQ(Add(Url(i)), LibraryConnection::Outcome::Waiting);
    EXPECT_TRUE(Credit(Url(-1)));
    EXPECT_EQ(Foreign("ROLLBACK"), SQLITE_OK);
    Land();
    EXPECT_EQ(Count("file_name LIKE 'http://radio/%'"), kCalls + 1);
    EXPECT_EQ(Plays(Url(-1)), "1");
}

// Another plugin's COMMIT then BEGIN between the plugin's steps hands the
// plugin nothing: that plugin's later ROLLBACK still finds its transaction.
TEST_F(ConnectionTest, TheShapeOfAnotherPluginsTransactionsIsItsOwn) {
    Add(Url(1));
    ASSERT_EQ(Foreign("BEGIN"), SQLITE_OK);
    Add(Url(2));
    ASSERT_EQ(Foreign("COMMIT"), SQLITE_OK);
    ASSERT_EQ(Foreign("BEGIN"), SQLITE_OK);
    EXPECT_TRUE(Credit(Url(1)));
    Foreign("UPDATE list SET rating = 9");
    EXPECT_EQ(Foreign("ROLLBACK"), SQLITE_OK);
    Land();
    EXPECT_EQ(Committed("SELECT file_name || '=' || playcount || '/' || rating FROM list ORDER BY rowid"),
              "http://radio/1=1/0;http://radio/2=0/0");
}

// A credit writes its row under the write lock, so a rating another plugin
// writes through the shared handle meanwhile is never written back over.
TEST_F(ConnectionTest, CreditsNeverOverwriteARatingAnotherPluginWritesMeanwhile) {
    Add(Url(1));
    constexpr int kCredits = 400;
    std::atomic<bool> stop{false};
    std::atomic<int> lastRating{0};
    std::thread rater([&] {
        for (int rating = 1; !stop; ++rating) {
            const std::string sql = "UPDATE list SET rating = " + std::to_string(rating);
            if (Foreign(sql.c_str()) == SQLITE_OK) lastRating = rating;
        }
    });
    for (int i = 0; i < kCredits; ++i) ASSERT_TRUE(Credit(Url(1), i));
    stop = true;
    rater.join();
    Land();
    EXPECT_EQ(Plays(Url(1)), std::to_string(kCredits));
    EXPECT_EQ(Committed("SELECT rating FROM list"), std::to_string(lastRating.load()));
}

// Work that cannot land (another program's write lock) is in the store at
// once; nothing waits for room, however much waits, and every call returns
// while the lock is still held.
TEST_F(ConnectionTest, UnderAForeignWriteLockEveryCallReturnsAndItAllLandsAfterwards) {
    Add(Url(0));
    {
        ForeignLock other(DatabasePath(), ForeignLock::Write);
        auto calls = std::async(std::launch::async, [this] {
            for (int i = 1; i <= 5000; ++i) EXPECT_EQ(Add(Url(i)), LibraryConnection::Outcome::Waiting);
            EXPECT_TRUE(Credit(Url(0)));
            NullSink cancelled;
            cancelled.stopAt = 3;
            EXPECT_EQ(Batch(BatchMode::Remove, 1, 10, cancelled), 3u);
        });
        ASSERT_EQ(calls.wait_for(kGenerousWait), std::future_status::ready);
        EXPECT_EQ(connection().WaitingCount(), 5004u);
        RecordOwner shown(ReadTrackRow(connection(), Url(0).c_str()));
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->playcount, 1);  // reads show waiting work as done
        EXPECT_FALSE(RecordOwner(ReadTrackRow(connection(), Url(2).c_str())));
    }
    Land();
    EXPECT_EQ(Count("file_name LIKE 'http://radio/%'"), 5001 - 3);
    EXPECT_EQ(Plays(Url(0)), "1");
}

// A full disk or an I/O error is waited out like a lock: the credit reports
// success, waits in the store, and lands once there is room.
TEST_F(ConnectionTest, ACreditOnAFullDiskLandsOnceThereIsRoom) {
    Add(Url(1));
    const std::string pages = Committed("PRAGMA page_count");
    auto maxPages = [this](const std::string& count) {
        connection().ReadWith([&count](sqlite3* writer) {
            return sqlite3_exec(writer, ("PRAGMA max_page_count = " + count).c_str(), nullptr, nullptr, nullptr);
        });
    };
    maxPages(pages);
    for (int i = 2; i < 200; ++i) Add(Url(i));  // no page left for these
    EXPECT_TRUE(Credit(Url(1)));
    EXPECT_GT(connection().WaitingCount(), 0u);
    maxPages("1000000");
    Land();
    EXPECT_EQ(Plays(Url(1)), "1");
    EXPECT_EQ(Count("file_name LIKE 'http://radio/%'"), 199);
}

// Shut-down under another program's lock leaves what waits in the store; it
// lands, once, when the library opens again.
TEST_F(ConnectionTest, WorkWaitingAtShutDownLandsOnceAtTheNextStart) {
    Add(Url(1));
    ForeignLock other(DatabasePath(), ForeignLock::Write);
    EXPECT_TRUE(Credit(Url(1)));
    Add(Url(2));
    connection().Close();
    other.Release();
    EXPECT_EQ(Count("1"), 1);
    ASSERT_TRUE(connection().Open(DatabasePath()));
    Land();
    EXPECT_EQ(Plays(Url(1)), "1");
    EXPECT_EQ(Count("1"), 2);
    Reconnect();
    EXPECT_EQ(Plays(Url(1)), "1");  // never twice
}

// Nothing another plugin does to the shared handle's busy handling reaches the
// plugin's own work: not a long busy timeout, not removing the handler.
TEST_F(ConnectionTest, AnotherPluginsBusyHandlerIsNeverCalledForThePluginsWork) {
    Add(Url(1));
    std::atomic<int> calls{0};
    sqlite3_busy_handler(
        connection().Handle(),
        [](void* count, int) {
            ++*static_cast<std::atomic<int>*>(count);
            return 0;
        },
        &calls);
    {
        ForeignLock other(DatabasePath(), ForeignLock::Write);
        EXPECT_TRUE(Credit(Url(1)));
        Add(Url(2));
        EXPECT_FALSE(RecordOwner(ReadTrackRow(connection(), Url(3).c_str())));
    }
    sqlite3_busy_handler(connection().Handle(), nullptr, nullptr);
    connection().Close();
    EXPECT_EQ(calls.load(), 0);
    ASSERT_TRUE(connection().Open(DatabasePath()));
    Land();
    EXPECT_EQ(Plays(Url(1)), "1");
    EXPECT_EQ(Count("1"), 2);
}

// A read that cannot be had whole (another program's exclusive lock) gives no
// record at all, and lets the plugin's other work go on meanwhile.
TEST_F(ConnectionTest, AReadUnderAnExclusiveLockGivesNullAndBlocksNothing) {
    Add(Url(1));
    {
        ForeignLock other(DatabasePath(), ForeignLock::Exclusive);
        auto read =
            std::async(std::launch::async, [this] { return RecordOwner(ReadTrackRow(connection(), Url(1).c_str())); });
        auto credit = std::async(std::launch::async, [this] { return Credit(Url(1)); });
        ASSERT_EQ(credit.wait_for(kGenerousWait), std::future_status::ready);
        EXPECT_TRUE(credit.get());
        ASSERT_EQ(read.wait_for(kGenerousWait), std::future_status::ready);
        EXPECT_FALSE(read.get());
    }
    RecordOwner after(ReadTrackRow(connection(), Url(1).c_str()));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->playcount, 1);
}

// A new library file that another program holds the write lock on gets its
// table from the plugin's first transaction, and the work waiting for it.
TEST_F(ConnectionTest, ANewLibraryOpenedUnderAForeignLockGetsItsTableAndItsWork) {
    connection().Close();
    std::filesystem::remove(DatabasePath());
    {
        ForeignLock other(DatabasePath(), ForeignLock::Write);
        ASSERT_TRUE(connection().Open(DatabasePath()));
        EXPECT_EQ(Add(Url(1)), LibraryConnection::Outcome::Waiting);
    }
    Land();
    EXPECT_EQ(Count("1"), 1);
}

TEST_F(ConnectionTest, AFileThatIsNotADatabaseIsNeitherOpenedNorChanged) {
    connection().Close();
    const std::string text = "these are the user's notes, not a database\n";
    std::ofstream(DatabasePath(), std::ios::binary | std::ios::trunc) << text;
    EXPECT_FALSE(connection().Open(DatabasePath()));
    EXPECT_EQ(connection().Submit(MakeRemoval("x")), LibraryConnection::Outcome::Closed);
    std::ifstream in(DatabasePath(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
}

// A null path names no row, not the row whose name is empty.
TEST(NullKeyTest, GetRecordOfNullIsNull) {
    TempFolder folder;
    ASSERT_TRUE(State().connection.Open(folder.path() + "/vellumdb.db"));
    sqlite3_exec(State().connection.Handle(), "INSERT INTO list(file_name) VALUES('')", nullptr, nullptr, nullptr);
    EXPECT_EQ(kApi.GetRecord(nullptr), nullptr);
    RecordOwner empty(kApi.GetRecord(""));
    EXPECT_TRUE(empty);
    State().connection.Close();
}

}  // namespace
}  // namespace vellum
