// The library's writers and the interface for other plugins with each
// allocation failing in turn (fault_loop.h): a play credit, a batch of adds and
// one of removals, and AddFile, GetRecord and RemoveFile. Each either lands
// whole or leaves the rows as they were; work the connection took lands once,
// never twice and never not at all; nothing crashes and the library works on.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <new>
#include <string>

#include "api/library_interface.h"
#include "fault_loop.h"
#include "maintenance/batch_worker.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "plugin_library_fixture.h"
#include "probe_fakes.h"
#include "temp_database.h"

namespace vellum {
namespace {

using testing::AlbumFile;
using testing::FakeAudio;
using testing::FakeFile;

// The fewest allocations each operation makes when none fails. A loop that
// reaches fewer no longer runs the path it is about (a fast path taken
// instead, a probe skipped), and proves nothing.
// A credit: its key, its entry, the lookup's text and record.
constexpr int kCreditAllocations = 10;
// Two probed records with their 25 texts each.
constexpr int kTwoProbedRecordsAllocations = 40;
// A removal of two rows: two keys, their entries and statement texts.
constexpr int kTwoRemovalsAllocations = 10;
// One probed record with its texts, or one record read back whole.
constexpr int kOneProbedRecordAllocations = 40;
constexpr int kOneReadRecordAllocations = 27;
// One removal: its key, entry and statement text.
constexpr int kOneRemovalAllocations = 5;

// Counts reports without allocating: it runs with the fault armed.
class CountingSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override {
        ++items;
        return true;
    }
    void Finished() override { ++finished; }
    int items = 0;
    int finished = 0;
};

class AllocationFaultTest : public TempDatabaseTest {
protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        Exec("PRAGMA synchronous = OFF");  // speed only
        fake_.Reset();
    }
    // Lands what waits and stops the helper thread, so that rows and blocks
    // can be compared.
    void Settle() {
        fake_.formatsAsked.clear();
        Reconnect();
        Exec("PRAGMA synchronous = OFF");
    }
    // The row of `name`, every column "|"-joined, or "" when there is none.
    std::string Row(const std::string& name) {
        std::string text;
        Statement row(connection().Handle(), ("SELECT * FROM list WHERE file_name = '" + name + "'").c_str());
        if (row.Get() == nullptr || sqlite3_step(row.Get()) != SQLITE_ROW) return text;
        for (int column = 0; column < sqlite3_column_count(row.Get()); ++column) {
            const unsigned char* value = sqlite3_column_text(row.Get(), column);
            text += value != nullptr ? reinterpret_cast<const char*>(value) : "NULL";
            text += '|';
        }
        return text;
    }
    std::string Rows() { return Scalar("SELECT COUNT(*) FROM list"); }

    FakeAudio& fake_ = FakeAudio::Instance();
    AudioLibrary audio_ = fake_.Bound();
};

// A credit reported as landed or waiting lands exactly once; one reported as
// failed (or thrown out) leaves the count as it was.
TEST_F(AllocationFaultTest, APlayCreditLandsOnceOrNotAtAllAsReported) {
    Exec("INSERT INTO list(file_name, playcount, lastplayed) VALUES('C:\\m\\a.flac', 5, 1)");
    bool credited = false, threw = false;
    int lost = 0;
    testing::FaultLoop loop;
    loop.setup = [&] {
        Exec("UPDATE list SET playcount = 5, lastplayed = 1");
        credited = threw = false;
    };
    loop.operation = [&] {
        try {
            credited = CreditCompletedPlay(connection(), u"C:\\m\\a.flac", 1700000000);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
    };
    loop.check = [&](bool faulted) {
        Settle();
        const std::string row = Scalar("SELECT playcount || '/' || lastplayed FROM list");
        if (credited) {
            EXPECT_EQ(row, "6/1700000000");
        } else {
            EXPECT_TRUE(faulted);
            EXPECT_EQ(row, "5/1");
            ++lost;
        }
        EXPECT_FALSE(credited && threw);
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(loop), kCreditAllocations);
    EXPECT_GT(lost, 0);
}

// Every item of a batch is stored whole or not at all, a stored row keeps its
// counts, and the sink hears that the batch is over every time.
TEST_F(AllocationFaultTest, ABatchOfAddsStoresEachItemWholeOrNotAtAll) {
    fake_.AddFile(u"C:\\m\\new.flac", AlbumFile("New", 100));
    fake_.AddFile(u"C:\\m\\old.flac", AlbumFile("Retagged", 200));
    BatchPathList paths;
    paths.Append(u"C:\\m\\new.flac");
    paths.Append(u"C:\\m\\old.flac");
    const ProbeContext probe{audio_, nullptr};
    CountingSink sink;
    std::size_t done = 0;
    auto reset = [&] {
        Exec("DELETE FROM list");
        Exec("INSERT INTO list(file_name, tagAlbum, playcount, rating) VALUES('C:\\m\\old.flac', 'Old', 4, 3)");
        sink = CountingSink();
    };
    reset();
    const std::string before = Row("C:\\m\\old.flac");
    RunBatch(BatchJob{BatchMode::Add, paths, connection(), probe}, sink);
    const std::string whole = Row("C:\\m\\new.flac") + Row("C:\\m\\old.flac");
    ASSERT_NE(whole.find("New"), std::string::npos);
    int partial = 0;
    testing::FaultLoop loop;
    loop.setup = reset;
    loop.operation = [&] { done = RunBatch(BatchJob{BatchMode::Add, paths, connection(), probe}, sink); };
    loop.check = [&](bool faulted) {
        EXPECT_EQ(sink.finished, 1);
        EXPECT_LE(done, paths.Size());
        Settle();
        const std::string fresh = Row("C:\\m\\new.flac"), old = Row("C:\\m\\old.flac");
        EXPECT_TRUE(fresh.empty() || whole.find(fresh) == 0) << fresh;
        EXPECT_TRUE(old == before || whole.find(old) != std::string::npos) << old;
        EXPECT_EQ(Scalar("SELECT playcount || '/' || rating FROM list WHERE file_name = 'C:\\m\\old.flac'"), "4/3");
        if (fresh + old != whole) {
            EXPECT_TRUE(faulted);
            ++partial;
        }
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(loop), kTwoProbedRecordsAllocations);
    EXPECT_GT(partial, 0);
}

TEST_F(AllocationFaultTest, ABatchOfRemovalsRemovesEachRowOrLeavesIt) {
    BatchPathList paths;
    paths.Append(u"a");
    paths.Append(u"b");
    const ProbeContext probe{audio_, nullptr};
    CountingSink sink;
    int kept = 0;
    testing::FaultLoop loop;
    loop.setup = [&] {
        Exec("DELETE FROM list");
        Exec("INSERT INTO list(file_name, playcount) VALUES('a', 1), ('b', 2), ('c', 3)");
        sink = CountingSink();
    };
    loop.operation = [&] { RunBatch(BatchJob{BatchMode::Remove, paths, connection(), probe}, sink); };
    loop.check = [&](bool faulted) {
        EXPECT_EQ(sink.finished, 1);
        Settle();
        const std::string rows = Scalar("SELECT group_concat(file_name || playcount, ',') FROM list");
        EXPECT_TRUE(rows == "c3" || (faulted && (rows == "a1,c3" || rows == "b2,c3" || rows == "a1,b2,c3"))) << rows;
        if (rows != "c3") ++kept;
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(loop), kTwoRemovalsAllocations);
    EXPECT_GT(kept, 0);
}

// The interface's boundaries: AddFile and RemoveFile report 1 whatever
// happens and leave the row whole or as it was; GetRecord gives the whole
// record or null.
class InterfaceFaultTest : public PluginLibraryTest {
protected:
    void Settle() {
        testing::FakeAudio::Instance().formatsAsked.clear();
        State().connection.Close();
        ASSERT_TRUE(State().connection.Open(folder_.path() + "/vellumdb.db"));
        State().connection.ReadWith([](sqlite3* writer) {  // speed only
            return sqlite3_exec(writer, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
        });
    }
    std::string Album() {
        Statement album(State().connection.Handle(), "SELECT COUNT(*) || ':' || ifnull(tagAlbum, '') FROM list");
        if (album.Get() == nullptr || sqlite3_step(album.Get()) != SQLITE_ROW) return "";
        const unsigned char* text = sqlite3_column_text(album.Get(), 0);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
};

TEST_F(InterfaceFaultTest, AddGetAndRemoveAreWholeOrNothing) {
    testing::FakeAudio::Instance().AddFile(u"C:\\m\\x.flac", AlbumFile("Album", 100));
    auto clear = [] { sqlite3_exec(State().connection.Handle(), "DELETE FROM list", nullptr, nullptr, nullptr); };
    std::int32_t reported = 0;
    testing::FaultLoop add;
    add.setup = clear;
    add.operation = [&] { reported = api::AddFile("C:\\m\\x.flac"); };
    add.check = [&](bool faulted) {
        EXPECT_EQ(reported, 1);
        Settle();
        const std::string album = Album();
        EXPECT_TRUE(album == "1:Album" || (faulted && album == "0:")) << album;
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(add), kOneProbedRecordAllocations);

    ASSERT_EQ(api::AddFile("C:\\m\\x.flac"), 1);
    VellumTrackRecord* record = nullptr;
    int refused = 0;
    testing::FaultLoop get;
    get.operation = [&] { record = api::GetRecord("C:\\m\\x.flac"); };
    get.check = [&](bool faulted) {
        if (record == nullptr) {
            EXPECT_TRUE(faulted);
            ++refused;
        } else {
            EXPECT_STREQ(api::GetTagField(record, 2), "Album");
            EXPECT_EQ(api::GetNumberField(record, 1), 100);
        }
        api::FreeRecord(record);
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(get), kOneReadRecordAllocations);
    EXPECT_GT(refused, 0);

    testing::FaultLoop remove;
    remove.setup = [&] {
        if (Album() != "1:Album") {
            ASSERT_EQ(api::AddFile("C:\\m\\x.flac"), 1);
            testing::FakeAudio::Instance().formatsAsked.clear();
        }
    };
    remove.operation = [&] { reported = api::RemoveFile("C:\\m\\x.flac"); };
    remove.check = [&](bool faulted) {
        EXPECT_EQ(reported, 1);
        Settle();
        const std::string album = Album();
        EXPECT_TRUE(album == "0:" || (faulted && album == "1:Album")) << album;
    };
    EXPECT_GT(testing::FailEachAllocationInTurn(remove), kOneRemovalAllocations);
}

}  // namespace
}  // namespace vellum
