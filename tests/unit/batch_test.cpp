// Batches: collecting the selected playlist entries in one walk of the host's
// chain, and the worker that adds or removes them inside one transaction.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
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
        sqlite3_trace_v2(
            connection().Handle(), SQLITE_TRACE_STMT,
            [](unsigned, void* context, void*, void* text) {
                std::string sql = static_cast<const char*>(text);
                if (sql == "BEGIN" || sql == "COMMIT") static_cast<std::vector<std::string>*>(context)->push_back(sql);
                return 0;
            },
            &transactions_);
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
    RecordingSink sink(paths.Size(), [&](std::size_t) {
        rowsWhenReported.push_back(Scalar("SELECT group_concat(file_name) FROM list"));
    });
    sink.onFinished = [&] {
        // Reported after the commit: another connection already sees the result.
        EXPECT_NE(sqlite3_get_autocommit(connection().Handle()), 0);
        EXPECT_EQ(Committed("SELECT file_name FROM list"), "keep");
    };
    EXPECT_EQ(Run(BatchMode::Remove, paths, sink), 4u);
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"0/4", "1/4", "2/4", "3/4", "finished"}));
    EXPECT_EQ(rowsWhenReported, (std::vector<std::string>{"a,b,c,keep", "b,c,keep", "c,keep", "c,keep"}));
    EXPECT_EQ(transactions_, (std::vector<std::string>{"BEGIN", "COMMIT"}));
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
    EXPECT_EQ(transactions_, (std::vector<std::string>{"BEGIN", "COMMIT"}));

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

TEST_F(BatchWorkerTest, AnEndOfPlayUpdateDuringTheBatchJoinsItAndIsCommittedWithIt) {
    for (const char* name : {"a", "b", "playing"}) Insert(name, 3);
    BatchPathList paths = Paths({"a", "b"});
    std::thread update;
    std::atomic<bool> credited{false};
    RecordingSink sink(paths.Size(), [&](std::size_t index) {
        if (index == 0) {
            // The update runs while the worker waits on this report.
            update = std::thread([&] {
                Transaction joined(connection());
                credited = CreditCompletedPlay(connection(), u"playing", 1700000000);
            });
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!credited && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_TRUE(credited);
        } else {
            // Joined, not committed early: nothing of the batch is visible yet.
            EXPECT_EQ(Committed("SELECT playcount FROM list WHERE file_name = 'playing'"), "3");
        }
    });
    Run(BatchMode::Remove, paths, sink);
    update.join();
    EXPECT_EQ(Committed("SELECT file_name || '=' || playcount FROM list"), "playing=4");
    EXPECT_EQ(transactions_, (std::vector<std::string>{"BEGIN", "COMMIT"}));
}

TEST_F(BatchWorkerTest, TheLockIsFreeWheneverTheSinkIsCalled) {
    for (const char* name : {"a", "b"}) Insert(name);
    BatchPathList paths = Paths({"a", "b"});
    std::vector<std::thread> takers;
    std::vector<bool> taken;
    // Another thread must get the lock while the worker is inside the sink, as
    // the dialog's thread does when it touches the library during a report.
    auto tryFromAnotherThread = [&] {
        auto got = std::make_shared<std::atomic<bool>>(false);
        takers.emplace_back([this, got] {
            platform::ScopedLock hold(connection().Lock());
            *got = true;
        });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!*got && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        taken.push_back(*got);
    };
    RecordingSink sink(paths.Size(), [&](std::size_t) { tryFromAnotherThread(); });
    sink.onFinished = tryFromAnotherThread;
    Run(BatchMode::Remove, paths, sink);
    for (std::thread& taker : takers) taker.join();
    EXPECT_EQ(taken, (std::vector<bool>{true, true, true}));
}

}  // namespace
}  // namespace vellum
