// Faults the library meets in the field: another program holding the write
// lock, a location it cannot write, a damaged file, a `list` table made by
// another tool, a disk that fills up in the middle of a batch. Every case ends
// with the library still working and what was stored before intact.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "library/rows.h"
#include "maintenance/pending_work.h"
#include "maintenance/batch_worker.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "temp_database.h"

namespace vellum {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char16_t kKept[] = u"http://radio/kept";  // URLs register without an audio library

// A distinct URL for row `i`, padded so that rows take room.
std::u16string Url(const std::string& prefix, int i) {
    return platform::Utf8ToUtf16("http://radio/" + prefix + std::string(60, 'x') + std::to_string(i));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Another program's connection holding the write lock: a write of its own in
// an open transaction, committed on Release.
class ForeignWriter {
public:
    ForeignWriter(const std::string& path, const std::string& name) {
        sqlite3_open(path.c_str(), &database_);
        sqlite3_busy_timeout(database_, 10000);
        sqlite3_exec(database_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_exec(database_, ("INSERT INTO list(file_name) VALUES('" + name + "')").c_str(), nullptr, nullptr,
                     nullptr);
    }
    ~ForeignWriter() {
        Release();
        sqlite3_close(database_);
    }
    void ReleaseAfter(std::chrono::milliseconds delay) {
        releaser_ = std::thread([this, delay] {
            std::this_thread::sleep_for(delay);
            Commit();
        });
    }
    void Release() {
        if (releaser_.joinable()) releaser_.join();
        else Commit();
    }

private:
    void Commit() {
        if (!sqlite3_get_autocommit(database_)) sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3* database_ = nullptr;
    std::thread releaser_;
};

class NullSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override { return true; }
    void Finished() override { ++finished; }
    int finished = 0;
};

class FaultTest : public TempDatabaseTest {
protected:
    // A play start and an end of play as the plugin runs them.
    void PlayStart(LibraryConnection& library, std::u16string_view path) {
        RegisterFile(ProbeContext{audio_, nullptr}, library, 0, path, 0);
    }
    void PlayStart(std::u16string_view path) { PlayStart(connection(), path); }
    bool Credit(LibraryConnection& library, std::u16string_view path) {
        return CreditCompletedPlay(library, path, 1700000000);
    }
    bool Credit(std::u16string_view path) { return Credit(connection(), path); }
    std::size_t Batch(BatchMode mode, const BatchPathList& paths) {
        const ProbeContext probe{audio_, nullptr};
        NullSink sink;
        const std::size_t done = RunBatch(BatchJob{mode, paths, connection(), probe}, sink);
        EXPECT_EQ(sink.finished, 1);
        return done;
    }
    std::string Plays(const char* name) {
        return Committed(std::string("SELECT playcount FROM list WHERE file_name = '") + name + "'");
    }
    bool InTransaction() { return sqlite3_get_autocommit(connection().Handle()) == 0; }
    // Runs a statement on the plugin's writer: max_page_count is a setting of
    // one connection.
    void ExecOnWriter(const std::string& sql) {
        EXPECT_EQ(connection().ReadWith(
                      [&sql](sqlite3* writer) { return sqlite3_exec(writer, sql.c_str(), nullptr, nullptr, nullptr); }),
                  SQLITE_OK);
    }
    // Stores `kept` with one play, committed.
    void StoreKept() {
        PlayStart(kKept);
        ASSERT_TRUE(Credit(kKept));
        ASSERT_EQ(Plays("http://radio/kept"), "1");
    }

    AudioLibrary audio_{};
};

// A play start and its end under a short write lock wait in the store and
// land once it frees, the end after the start.
TEST_F(FaultTest, AShortWriteLockDelaysPlaysAndTheirEndsUntilTheyLand) {
    {
        ForeignWriter other(DatabasePath(), "first");
        other.ReleaseAfter(400ms);
        PlayStart(kKept);
        EXPECT_TRUE(Credit(kKept));
    }
    {
        ForeignWriter other(DatabasePath(), "second");
        other.ReleaseAfter(400ms);
    }
    EXPECT_TRUE(connection().LandWaitingWork(kGenerousWait));
    EXPECT_EQ(Plays("http://radio/kept"), "1");
    EXPECT_EQ(Committed("SELECT count(*) FROM list"), "3");
}

// Work that cannot have the write lock waits without holding any lock of its
// own, so the other program commits freely, and lands right after.
TEST_F(FaultTest, AWriteLockLongerThanTheBusyTimeoutLeavesTheOtherProgramFreeAndTheWorkLandsAfter) {
    StoreKept();
    BatchPathList add;
    add.Append(u"http://radio/batch");
    {
        ForeignWriter other(DatabasePath(), "foreign");
        PlayStart(u"http://radio/late");
        EXPECT_FALSE(InTransaction());
        EXPECT_EQ(Batch(BatchMode::Add, add), 1u);
        EXPECT_TRUE(Credit(kKept));
        EXPECT_FALSE(InTransaction());
        EXPECT_EQ(connection().WaitingCount(), 3u);
    }
    EXPECT_TRUE(connection().LandWaitingWork(kGenerousWait));
    EXPECT_EQ(Committed("SELECT group_concat(file_name || '=' || playcount) FROM list ORDER BY rowid"),
              "http://radio/kept=2,foreign=0,http://radio/late=0,http://radio/batch=0");
}

// As root no permission stops a write, so the unwritable places are made of
// what no one can write through: a file where a folder should be, a folder
// where a file should be.
TEST_F(FaultTest, AnUnwritableLocationLeavesTheLibraryClosedOrUnchangedAndWorking) {
    std::ofstream(folder() + "/file") << "a file, not a folder";
    fs::create_directory(folder() + "/folder.db");
    for (const std::string& path : {folder() + "/file/vellumdb.db", folder() + "/folder.db"}) {
        LibraryConnection closed;
        EXPECT_FALSE(closed.Open(path)) << path;
        PlayStart(closed, kKept);
        EXPECT_FALSE(Credit(closed, kKept));
        EXPECT_EQ(ReadTrackRow(closed, "http://radio/kept"), nullptr);
        EXPECT_EQ(closed.Handle(), nullptr);
    }
    EXPECT_TRUE(fs::is_empty(folder() + "/folder.db"));

    StoreKept();
    const std::string before = ReadFile(DatabasePath());
    fs::create_directory(DatabasePath() + "-journal");  // the rollback journal cannot be written
    PlayStart(u"http://radio/new");
    EXPECT_TRUE(Credit(kKept));                       // it waits in the store
    EXPECT_TRUE(ReadFile(DatabasePath()) == before);  // no bytes in the message
    fs::remove(DatabasePath() + "-journal");
    EXPECT_TRUE(connection().LandWaitingWork(kGenerousWait));
    EXPECT_EQ(Committed("SELECT group_concat(file_name || '=' || playcount) FROM list ORDER BY rowid"),
              "http://radio/kept=2,http://radio/new=0");
}

// A real library whose pages were damaged, as by a drive unplugged while it
// was written: never opened, never changed.
TEST_F(FaultTest, ADamagedDatabaseIsNeitherOpenedNorChanged) {
    ExecOnWriter("PRAGMA synchronous = OFF");  // speed only
    for (int i = 0; i < 300; ++i) PlayStart(Url("stored", i));
    connection().Close();
    const std::string healthy = ReadFile(DatabasePath());
    const std::size_t page = 4096;
    // The damages below reach into the fifth page and cut one off the end.
    constexpr std::size_t kPagesTheDamagesNeed = 6;
    ASSERT_GT(healthy.size(), kPagesTheDamagesNeed * page);
    const std::string damages[] = {
        healthy.substr(0, healthy.size() - page - 100),                                      // cut short
        healthy.substr(0, 3 * page) + std::string(page, '\xA5') + healthy.substr(4 * page),  // a page of noise
        healthy.substr(0, 2 * page) + std::string(page, '\0') + healthy.substr(3 * page),    // a page zeroed
    };
    for (const std::string& damaged : damages) {
        std::ofstream(DatabasePath(), std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_FALSE(connection().Open(DatabasePath()));
        PlayStart(u"http://radio/new");
        EXPECT_TRUE(ReadFile(DatabasePath()) == damaged);
        connection().Close();
    }
}

// Reading is by position; a table with other columns must be read only as far
// as its columns go, and the positional writes must not land in it.
TEST_F(FaultTest, AListTableOfAnotherToolIsReadWithinItsColumnsAndWritesChangeNothing) {
    Reopen("CREATE TABLE list(file_name TEXT PRIMARY KEY, notes TEXT, plays INTEGER)");
    Exec("INSERT INTO list VALUES('http://radio/kept', 'mine', 3)");
    const std::string table = "SELECT group_concat(file_name || '|' || notes || '|' || plays) FROM list";
    const std::string before = Scalar(table);
    RecordOwner record(ReadTrackRow(connection(), "http://radio/kept"));
    ASSERT_TRUE(record);
    EXPECT_STREQ(record->file_title, "mine");
    EXPECT_STREQ(record->file_ext, "3");
    EXPECT_STREQ(record->tagDiscNumber, "");
    EXPECT_EQ(record->playcount, 0);
    PlayStart(kKept);
    PlayStart(u"http://radio/new");
    Credit(kKept);
    EXPECT_EQ(Scalar(table), before);
    EXPECT_FALSE(InTransaction());
}

// max_page_count stands in for a full library disk: the batch fails from some
// item on and still ends with the earlier rows intact; nothing it or a play
// credit did is dropped, and all of it lands once there is room again.
TEST_F(FaultTest, AFullDiskInTheMiddleOfABatchDropsNothingAndItAllLandsOnceThereIsRoom) {
    StoreKept();
    const std::string pages = Scalar("PRAGMA page_count");
    // Room for a few rows: the disk fills early in the batch.
    constexpr int kPagesOfRoom = 3;
    ExecOnWriter("PRAGMA max_page_count = " + std::to_string(std::stoi(pages) + kPagesOfRoom));
    constexpr int kItems = 400;  // padded URLs: far more than those pages hold
    BatchPathList add;
    for (int i = 0; i < kItems; ++i) add.Append(Url("batch", i));
    EXPECT_EQ(Batch(BatchMode::Add, add), static_cast<std::size_t>(kItems));
    EXPECT_TRUE(Credit(kKept));
    EXPECT_LT(std::stoi(Committed("SELECT count(*) FROM list")), kItems + 1);
    EXPECT_EQ(Committed("PRAGMA integrity_check"), "ok");
    EXPECT_GT(connection().WaitingCount(), 0u);
    ExecOnWriter("PRAGMA max_page_count = 1000000");
    EXPECT_TRUE(connection().LandWaitingWork(kGenerousWait));
    EXPECT_EQ(Committed("SELECT count(*) FROM list"), std::to_string(kItems + 1));
    EXPECT_EQ(Plays("http://radio/kept"), "2");
}

}  // namespace
}  // namespace vellum
