// Another program holding the library's file: a stepped statement (a read
// lock, which stops every COMMIT) or "BEGIN IMMEDIATE" (the write lock, which
// stops every write). Each of the plugin's paths runs under each lock and
// returns while the lock is still held; once the lock frees, every row and
// count is as if there had been no lock.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "maintenance/batch_worker.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "foreign_lock.h"
#include "temp_folder.h"

namespace vellum {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const VellumLibraryInterface& kApi = kLibraryInterface;
// How long the tests wait for an outcome; never a budget the code must meet.
constexpr auto kGenerousWait = 30s;

using testing::ForeignLock;
using Lock = ForeignLock::Kind;

class NullSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override { return true; }
    void Finished() override {}
};

class ForeignLockTest : public ::testing::TestWithParam<Lock> {
protected:
    void SetUp() override {
        path_ = folder_.path() + "/vellumdb.db";
        ASSERT_TRUE(library().Open(path_));
    }
    void TearDown() override { library().Close(); }
    LibraryConnection& library() { return State().connection; }
    ProbeContext Probe() { return ProbeContext{State().audio, nullptr}; }

    void PlayStart(const char* url) { RegisterFile(Probe(), library(), 0, platform::Utf8ToUtf16(url), 0); }
    void EndOfPlay(const char* url, std::int32_t endedAt) {
        EXPECT_TRUE(CreditCompletedPlay(library(), platform::Utf8ToUtf16(url), endedAt));
    }
    void Batch(BatchMode mode, std::initializer_list<const char*> urls) {
        BatchPathList paths;
        for (const char* url : urls) paths.Append(platform::Utf8ToUtf16(url));
        const ProbeContext probe = Probe();
        NullSink sink;
        RunBatch(BatchJob{mode, paths, library(), probe}, sink);
    }

    // Runs `work` while the foreign lock is held: it returns with the lock
    // still held (a caller that waited for the lock would never return here),
    // its work waiting. Then lets the lock go and waits for the work to land.
    void UnderLock(const std::function<void()>& work) {
        ForeignLock other(path_, GetParam());
        auto done = std::async(std::launch::async, work);
        ASSERT_EQ(done.wait_for(kGenerousWait), std::future_status::ready);
        done.get();
        EXPECT_GT(library().WaitingCount(), 0u);
        other.Release();
        WaitUntilLanded();
    }
    void WaitUntilLanded() {
        const auto deadline = Clock::now() + kGenerousWait;
        while (library().WaitingCount() > 0 && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
        EXPECT_EQ(library().WaitingCount(), 0u);
    }

    // The table as another program sees it: "name=plays@lastplayed" in rowid order.
    std::string Committed() {
        sqlite3* other = nullptr;
        sqlite3_open(path_.c_str(), &other);
        sqlite3_busy_timeout(other, 5000);
        std::string rows;
        sqlite3_exec(
            other, "SELECT file_name || '=' || playcount || '@' || lastplayed FROM list ORDER BY rowid",
            [](void* out, int, char** row, char**) {
                std::string& text = *static_cast<std::string*>(out);
                text += (text.empty() ? "" : ",") + std::string(row[0]);
                return 0;
            },
            &rows, nullptr);
        sqlite3_close(other);
        return rows;
    }

    TempFolder folder_;
    std::string path_;
};

TEST_P(ForeignLockTest, PlayStartsAreKeptAndTheWindowThreadDoesNotWaitForTheLock) {
    PlayStart("http://radio/before");
    UnderLock([&] {
        PlayStart("http://radio/a");
        PlayStart("http://radio/b");
    });
    EXPECT_EQ(Committed(), "http://radio/before=0@0,http://radio/a=0@0,http://radio/b=0@0");
}

TEST_P(ForeignLockTest, EndsOfPlayCountOnceEachWithTheTimeThePlayEnded) {
    PlayStart("http://radio/a");
    UnderLock([&] {
        EndOfPlay("http://radio/a", 1700000001);
        EndOfPlay("http://radio/a", 1700000002);
        PlayStart("http://radio/a");  // a refresh between keeps the plays
        EndOfPlay("http://radio/a", 1700000003);
    });
    EXPECT_EQ(Committed(), "http://radio/a=3@1700000003");
}

TEST_P(ForeignLockTest, ABatchAddAndABatchRemoveLandInOrder) {
    PlayStart("http://radio/kept");
    EndOfPlay("http://radio/kept", 1700000000);
    UnderLock([&] {
        Batch(BatchMode::Add, {"http://radio/1", "http://radio/kept", "http://radio/2", "http://radio/3"});
        Batch(BatchMode::Remove, {"http://radio/2", "http://radio/none"});
    });
    EXPECT_EQ(Committed(), "http://radio/kept=1@1700000000,http://radio/1=0@0,http://radio/3=0@0");
}

TEST_P(ForeignLockTest, AddFileAndRemoveFileLandAndReadsSeeThemAtOnce) {
    kApi.AddFile("http://radio/gone");
    UnderLock([&] {
        kApi.AddFile("http://radio/new");
        kApi.RemoveFile("http://radio/gone");
        RecordOwner added(kApi.GetRecord("http://radio/new"));
        EXPECT_TRUE(added);
        EXPECT_FALSE(RecordOwner(kApi.GetRecord("http://radio/gone")));
    });
    EXPECT_EQ(Committed(), "http://radio/new=0@0");
}

INSTANTIATE_TEST_SUITE_P(Locks, ForeignLockTest, ::testing::Values(ForeignLock::Read, ForeignLock::Write),
                         [](const auto& info) { return info.param == ForeignLock::Read ? "ReadLock" : "WriteLock"; });

}  // namespace
}  // namespace vellum
