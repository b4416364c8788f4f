// Several plugins' threads using the function table at once, while the host's
// thread fans messages out and listeners come and go.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "library/connection.h"
#include "library/track_record.h"
#include "probe_fakes.h"
#include "temp_folder.h"

namespace vellum {
namespace {

constexpr int kThreads = 4;
constexpr int kTracks = 60;  // per thread; every third a plain file, the rest URLs

intptr_t __stdcall Listens(void*, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

std::string TrackPath(int thread, int track) {
    const std::string id = std::to_string(thread) + "_" + std::to_string(track);
    return track % 3 == 0 ? "C:\\stress\\" + id + ".mp3" : "http://stress/" + id;
}

// Adds and reads back its own tracks, removing every odd one again. Returns
// how many reads did not show what was just written.
int WorkOn(int thread) {
    int mismatches = 0;
    for (int track = 0; track < kTracks; ++track) {
        const std::string path = TrackPath(thread, track);
        kLibraryInterface.AddFile(path.c_str());
        RecordOwner record(kLibraryInterface.GetRecord(path.c_str()));
        if (!record || path != kLibraryInterface.GetStringField(record.get(), 0)) ++mismatches;
        if (track % 2 == 1) kLibraryInterface.RemoveFile(path.c_str());
    }
    return mismatches;
}

TEST(InterfaceStress, ConcurrentAddReadAndRemoveStayConsistent) {
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(State().connection.Open(folder.path() + "/vellumdb.db"));
    State().connection.ReadWith([](sqlite3* writer) {  // speed only
        return sqlite3_exec(writer, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    });
    testing::FakeAudio& fake = testing::FakeAudio::Instance();
    fake.Reset();
    for (int thread = 0; thread < kThreads; ++thread)
        for (int track = 0; track < kTracks; track += 3) {
            const std::string path = TrackPath(thread, track);
            fake.AddFile(std::u16string(path.begin(), path.end()), testing::FakeFile{});
        }
    State().audio = fake.Bound();

    std::atomic<int> mismatches{0}, finished{0};
    std::vector<std::thread> workers;
    for (int thread = 0; thread < kThreads; ++thread)
        workers.emplace_back([thread, &mismatches, &finished] {
            mismatches += WorkOn(thread);
            ++finished;
        });
    std::thread churn([&finished] {
        while (finished < kThreads) {
            kLibraryInterface.AddListener(Listens);
            kLibraryInterface.RemoveListener(Listens);
        }
    });
    while (finished < kThreads) NotifyListeners(nullptr, 49300, 1, 0);  // the host's thread
    for (std::thread& worker : workers) worker.join();
    churn.join();

    EXPECT_EQ(mismatches.load(), 0);
    {
        Statement count(State().connection.Handle(), "SELECT COUNT(*) FROM list");
        EXPECT_EQ(sqlite3_step(count.Get()), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(count.Get(), 0), kThreads * kTracks / 2);
    }
    EXPECT_EQ(fake.opened.load(), kThreads * kTracks / 3);
    EXPECT_EQ(fake.freed.load(), fake.opened.load());
    State().connection.Close();
    State().audio = AudioLibrary{};
}

}  // namespace
}  // namespace vellum
