// Batches: collecting the selected playlist entries in one walk of the host's
// chain, and the worker that adds or removes them inside one transaction.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "maintenance/batch_path_list.h"
#include "maintenance/batch_worker.h"
#include "maintenance/play_statistics.h"
#include "platform/text.h"
#include "temp_database.h"

namespace vellum {
namespace {

using namespace std::string_literals;

// A chain over a vector; entry addresses are index + 1. Counts every step.
class FakeChain : public PlaylistChain {
public:
    explicit FakeChain(std::vector<std::u16string> paths) : paths_(std::move(paths)) {}
    std::uintptr_t First() override {
        ++firsts;
        return paths_.empty() ? 0 : 1;
    }
    std::uintptr_t Next(std::uintptr_t entry) override {
        ++steps;
        return entry < paths_.size() ? entry + 1 : 0;
    }
    std::u16string Path(std::uintptr_t entry) override { return paths_.at(entry - 1); }
    int firsts = 0;
    long steps = 0;

private:
    std::vector<std::u16string> paths_;
};

std::vector<std::u16string> Numbered(int count) {
    std::vector<std::u16string> paths;
    for (int i = 0; i < count; ++i) paths.push_back(u"C:\\music\\" + platform::Utf8ToUtf16(std::to_string(i)));
    return paths;
}

std::vector<std::u16string> Contents(const BatchPathList& list) {
    std::vector<std::u16string> paths;
    for (std::size_t i = 0; i < list.Size(); ++i) paths.push_back(list.At(i));
    return paths;
}

TEST(ChainWalk, TakesTheSelectedRowsInOrderInOneWalk) {
    FakeChain chain(Numbered(10));
    BatchPathList out;
    EXPECT_EQ(CollectChainPaths(chain, {1, 4, 9}, out), 3u);
    EXPECT_EQ(Contents(out), (std::vector<std::u16string>{u"C:\\music\\1", u"C:\\music\\4", u"C:\\music\\9"}));
    EXPECT_EQ(chain.firsts, 1);
    EXPECT_EQ(chain.steps, 9);
}

TEST(ChainWalk, StopsSafelyAtTheEndOfAShortOrEmptyChain) {
    FakeChain shortChain(Numbered(3));
    BatchPathList out;
    EXPECT_EQ(CollectChainPaths(shortChain, {0, 2, 3, 7}, out), 2u);
    EXPECT_EQ(Contents(out), (std::vector<std::u16string>{u"C:\\music\\0", u"C:\\music\\2"}));

    FakeChain empty({});
    BatchPathList none;
    EXPECT_EQ(CollectChainPaths(empty, {0, 1}, none), 0u);
    EXPECT_EQ(CollectChainPaths(empty, {}, none), 0u);
    EXPECT_TRUE(none.Empty());
}

TEST(ChainWalk, ARowThatDoesNotAscendEndsTheCollection) {
    FakeChain chain(Numbered(10));
    BatchPathList out;
    EXPECT_EQ(CollectChainPaths(chain, {2, 5, 5, 8}, out), 2u);
    BatchPathList negative;
    EXPECT_EQ(CollectChainPaths(chain, {-1, 3}, negative), 0u);
}

TEST(ChainWalk, AHundredThousandSelectedEntriesCostOneStepEach) {
    const int count = 100000;
    FakeChain chain(Numbered(count));
    std::vector<int> rows;
    for (int i = 0; i < count; ++i) rows.push_back(i);
    BatchPathList out;
    EXPECT_EQ(CollectChainPaths(chain, rows, out), static_cast<std::size_t>(count));
    EXPECT_LE(chain.steps, count);
    EXPECT_EQ(out.At(count - 1), u"C:\\music\\99999");
}

// Nothing is cut: a path over 519 units or holding a NUL is refused whole, and
// the collection goes on with the next selected row.
TEST(BatchPathList, RefusesPathsNoBufferHoldsAndTheCollectionGoesOn) {
    BatchPathList list;
    EXPECT_FALSE(list.Append(std::u16string(520, u'x')));
    EXPECT_FALSE(list.Append(u"C:\\a.mp3\0.bak"s));
    EXPECT_TRUE(list.Append(std::u16string(519, u'y')));
    EXPECT_TRUE(list.Append(u""));  // the purge removes a row with an empty name
    EXPECT_EQ(Contents(list), (std::vector<std::u16string>{std::u16string(519, u'y'), u""}));
    list.Clear();
    EXPECT_TRUE(list.Empty());

    FakeChain chain(
        {u"C:\\0.wav", std::u16string(520, u'x'), u"C:\\2.wav\0.bak"s, u"C:\\3.wav", std::u16string(519, u'z')});
    EXPECT_EQ(CollectChainPaths(chain, {0, 1, 2, 3, 4}, list), 3u);
    EXPECT_EQ(Contents(list), (std::vector<std::u16string>{u"C:\\0.wav", u"C:\\3.wav", std::u16string(519, u'z')}));
}

// A sink that records what the dialog would show, can act at a chosen item and
// declines the item `stopAt`, as the dialog does once the user has cancelled.
class RecordingSink : public BatchProgressSink {
public:
    RecordingSink(std::size_t count, std::function<void(std::size_t)> onItem = nullptr)
        : count_(count), onItem_(std::move(onItem)) {}
    bool ItemStarting(std::size_t index) override {
        shown.push_back(std::to_string(index) + "/" + std::to_string(count_));
        if (onItem_) onItem_(index);
        return index != stopAt;
    }
    void Finished() override {
        shown.push_back("finished");
        if (onFinished) onFinished();
    }
    std::vector<std::string> shown;
    std::function<void()> onFinished;
    std::size_t stopAt = SIZE_MAX;

private:
    std::size_t count_;
    std::function<void(std::size_t)> onItem_;
};

class BatchWorkerTest : public TempDatabaseTest {
protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        connection().ReadWith([this](sqlite3* writer) {
            return sqlite3_trace_v2(
                writer, SQLITE_TRACE_STMT,
                [](unsigned, void* context, void*, void* text) {
                    std::string sql = static_cast<const char*>(text);
                    if (sql == "BEGIN IMMEDIATE" || sql == "COMMIT")
                        static_cast<std::vector<std::string>*>(context)->push_back(sql);
                    return 0;
                },
                &transactions_);
        });
    }
    void TearDown() override {
        connection().ReadWith([](sqlite3* writer) { return sqlite3_trace_v2(writer, 0, nullptr, nullptr); });
        TempDatabaseTest::TearDown();
    }
    // The stored names as the plugin's own reads see them, inside its batch too.
    std::string NamesSeenByThePlugin() {
        std::string names;
        connection().ReadWith([&names](sqlite3* writer) {
            Statement query(writer, "SELECT group_concat(file_name) FROM list");
            const int rc = sqlite3_step(query.Get());
            if (rc == SQLITE_ROW && sqlite3_column_text(query.Get(), 0) != nullptr)
                names = reinterpret_cast<const char*>(sqlite3_column_text(query.Get(), 0));
            return rc;
        });
        return names;
    }
    void Insert(const std::string& name, int playcount = 0) {
        Exec("INSERT INTO list(file_name, playcount) VALUES('" + name + "', " + std::to_string(playcount) + ")");
    }
    BatchPathList Paths(std::initializer_list<const char*> names) {
        BatchPathList list;
        for (const char* name : names) list.Append(platform::Utf8ToUtf16(name));
        return list;
    }
    std::size_t Run(BatchMode mode, const BatchPathList& paths, BatchProgressSink& sink) {
        const ProbeContext probe{audio_, nullptr};
        return RunBatch(BatchJob{mode, paths, connection(), probe}, sink);
    }

    AudioLibrary audio_{};
    std::vector<std::string> transactions_;
};

TEST_F(BatchWorkerTest, RemovesEveryItemReportingEachBeforeItInOneTransaction) {
    for (const char* name : {"a", "b", "c", "keep"}) Insert(name);
    BatchPathList paths = Paths({"a", "b", "missing", "c"});
    std::vector<std::string> rowsWhenReported;
    RecordingSink sink(paths.Size(), [&](std::size_t) { rowsWhenReported.push_back(NamesSeenByThePlugin()); });
    sink.onFinished = [&] {
        // Reported after the commit: another connection already sees the result.
        EXPECT_EQ(Committed("SELECT file_name FROM list"), "keep");
    };
    EXPECT_EQ(Run(BatchMode::Remove, paths, sink), 4u);
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"0/4", "1/4", "2/4", "3/4", "finished"}));
    EXPECT_EQ(rowsWhenReported, (std::vector<std::string>{"a,b,c,keep", "b,c,keep", "c,keep", "c,keep"}));
    EXPECT_EQ(transactions_, (std::vector<std::string>{"BEGIN IMMEDIATE", "COMMIT"}));
}

// A declined item ends the batch before it: the items before it are committed,
// it and those after it are left alone, and the end is still reported.
TEST_F(BatchWorkerTest, ASinkThatDeclinesItemKEndsTheBatchThereKeepingTheItemsBefore) {
    for (const char* name : {"a", "b", "c", "d"}) Insert(name);
    BatchPathList paths = Paths({"a", "b", "c", "d"});
    RecordingSink sink(paths.Size());
    sink.stopAt = 2;
    EXPECT_EQ(Run(BatchMode::Remove, paths, sink), 2u);
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"0/4", "1/4", "2/4", "finished"}));
    EXPECT_EQ(Committed("SELECT file_name FROM list ORDER BY file_name"), "c;d");
    EXPECT_EQ(transactions_, (std::vector<std::string>{"BEGIN IMMEDIATE", "COMMIT"}));

    BatchPathList adds = Paths({"http://radio.example/new", "http://radio.example/other"});
    RecordingSink declinesFirst(adds.Size());
    declinesFirst.stopAt = 0;
    EXPECT_EQ(Run(BatchMode::Add, adds, declinesFirst), 0u);
    EXPECT_EQ(declinesFirst.shown, (std::vector<std::string>{"0/2", "finished"}));
    EXPECT_EQ(Committed("SELECT file_name FROM list ORDER BY file_name"), "c;d");
}

TEST_F(BatchWorkerTest, AddRegistersNewPathsAndRefreshesStoredOnesKeepingTheirCounts) {
    Insert("http://radio.example/stream", 5);
    BatchPathList paths = Paths({"http://radio.example/stream", "https://other.example/live"});
    RecordingSink sink(paths.Size());
    EXPECT_EQ(Run(BatchMode::Add, paths, sink), 2u);
    EXPECT_EQ(Committed("SELECT file_name || '|' || file_title || '|' || playcount FROM list ORDER BY file_name"),
              "http://radio.example/stream|http://radio.example/stream|5;"
              "https://other.example/live|https://other.example/live|0");
}

// A play that ends during a batch never joins the batch's transaction: it is
// in the store at once, so a crash of the batch cannot take it, and lands
// right after the batch commits.
TEST_F(BatchWorkerTest, AnEndOfPlayDuringTheBatchIsStoredAtOnceAndLandsRightAfterIt) {
    for (const char* name : {"a", "b", "playing"}) Insert(name, 3);
    BatchPathList paths = Paths({"a", "b"});
    RecordingSink sink(paths.Size(), [&](std::size_t index) {
        if (index != 1) return;
        EXPECT_TRUE(CreditCompletedPlay(connection(), u"playing", 1700000000));
        EXPECT_EQ(connection().WaitingCount(), 1u);
    });
    Run(BatchMode::Remove, paths, sink);
    EXPECT_TRUE(connection().LandWaitingWork(kGenerousWait));
    EXPECT_EQ(Committed("SELECT file_name || '=' || playcount FROM list"), "playing=4");
    EXPECT_EQ(transactions_, (std::vector<std::string>{"BEGIN IMMEDIATE", "COMMIT", "BEGIN IMMEDIATE", "COMMIT"}));
}

// Another thread gets the connection while the worker is inside the sink, as
// the dialog's thread does when it touches the library during a report.
TEST_F(BatchWorkerTest, TheConnectionIsFreeWheneverTheSinkIsCalled) {
    for (const char* name : {"a", "b"}) Insert(name);
    BatchPathList paths = Paths({"a", "b"});
    std::vector<bool> answered;
    auto askFromAnotherThread = [&] {
        auto reply = std::async(std::launch::async, [this] { return connection().WaitingCount(); });
        answered.push_back(reply.wait_for(kGenerousWait) == std::future_status::ready);
    };
    RecordingSink sink(paths.Size(), [&](std::size_t) { askFromAnotherThread(); });
    sink.onFinished = askFromAnotherThread;
    Run(BatchMode::Remove, paths, sink);
    EXPECT_EQ(answered, (std::vector<bool>{true, true, true}));
}

}  // namespace
}  // namespace vellum
