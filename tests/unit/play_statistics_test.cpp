// Play statistics: local times to stored seconds and back, and end-of-play
// updates racing play starts and a batch without losing a count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "api/library_interface.h"
#include "library/rows.h"
#include "maintenance/pending_work.h"
#include "maintenance/batch_worker.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "temp_database.h"

namespace vellum {
namespace {

// Sets the process time zone for one test and restores it after.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* previous = std::getenv("TZ");
        hadPrevious_ = previous != nullptr;
        if (hadPrevious_) previous_ = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (hadPrevious_) setenv("TZ", previous_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool hadPrevious_ = false;
    std::string previous_;
};

VellumSystemTime WallClock(int year, int month, int day, int hour, int minute, int second) {
    VellumSystemTime time{};
    time.wYear = static_cast<std::uint16_t>(year);
    time.wMonth = static_cast<std::uint16_t>(month);
    time.wDay = static_cast<std::uint16_t>(day);
    time.wHour = static_cast<std::uint16_t>(hour);
    time.wMinute = static_cast<std::uint16_t>(minute);
    time.wSecond = static_cast<std::uint16_t>(second);
    time.wMilliseconds = 999;
    return time;
}

void ExpectSameWallClock(const VellumSystemTime& got, const VellumSystemTime& want) {
    EXPECT_EQ(got.wYear, want.wYear);
    EXPECT_EQ(got.wMonth, want.wMonth);
    EXPECT_EQ(got.wDay, want.wDay);
    EXPECT_EQ(got.wHour, want.wHour);
    EXPECT_EQ(got.wMinute, want.wMinute);
    EXPECT_EQ(got.wSecond, want.wSecond);
    EXPECT_EQ(got.wMilliseconds, 0);
}

TEST(PlayTimes, SummerAndWinterTimesAreTheTrueInstantInADaylightSavingZone) {
    ZoneScope zone("Europe/Berlin");
    const VellumSystemTime summer = WallClock(2024, 7, 1, 12, 0, 0);
    const VellumSystemTime winter = WallClock(2024, 1, 15, 12, 0, 0);
    EXPECT_EQ(SystemTimeToSeconds(summer), 1719828000);  // 10:00 UTC
    EXPECT_EQ(SystemTimeToSeconds(winter), 1705316400);  // 11:00 UTC
    for (const VellumSystemTime& time : {summer, winter}) {
        VellumSystemTime back{};
        ASSERT_TRUE(SecondsToSystemTime(static_cast<std::uint32_t>(SystemTimeToSeconds(time)), back));
        ExpectSameWallClock(back, time);
    }
}

TEST(PlayTimes, AZoneWithoutDaylightSavingRoundTripsUnchanged) {
    ZoneScope zone("JST-9");
    const VellumSystemTime time = WallClock(2024, 7, 1, 21, 30, 5);
    EXPECT_EQ(SystemTimeToSeconds(time), 1719837005);  // 12:30:05 UTC
    VellumSystemTime back{};
    ASSERT_TRUE(SecondsToSystemTime(static_cast<std::uint32_t>(SystemTimeToSeconds(time)), back));
    ExpectSameWallClock(back, time);
    EXPECT_EQ(back.wDayOfWeek, 1);  // a Monday
}

class PlayCountTest : public TempDatabaseTest {
protected:
    std::int32_t PlayCount(const std::string& path) {
        RecordOwner record(ReadTrackRow(connection(), path.c_str()));
        return record ? record->playcount : -1;
    }
};

TEST_F(PlayCountTest, AnEndOfPlayCountsOnceAndAMissingRowChangesNothing) {
    AudioLibrary audio;
    const ProbeContext context{audio, nullptr};
    RegisterFile(context, connection(), 0, u"http://radio.example/stream", 0);
    EXPECT_EQ(PlayCount("http://radio.example/stream"), 0);
    EXPECT_TRUE(CreditCompletedPlay(connection(), u"http://radio.example/stream", 1700000000));
    EXPECT_FALSE(CreditCompletedPlay(connection(), u"http://radio.example/other", 1700000000));
    RecordOwner record(ReadTrackRow(connection(), "http://radio.example/stream"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->playcount, 1);
    EXPECT_EQ(record->lastplayed, 1700000000);
    EXPECT_EQ(Scalar("SELECT count(*) FROM list"), "1");
}

class NullSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override { return true; }
    void Finished() override {}
};

// End-of-play updates on several "audio" threads race play starts of the same
// paths (repeat-one) and a batch holding a transaction open: every end counts.
TEST_F(PlayCountTest, ConcurrentEndsStartsAndABatchLoseNoCount) {
    AudioLibrary audio;
    const ProbeContext context{audio, nullptr};
    const std::vector<std::u16string> paths = {u"http://a/1", u"http://a/2", u"http://a/3"};
    for (const auto& path : paths) RegisterFile(context, connection(), 0, path, 0);

    constexpr int kEndsPerThread = 60;
    constexpr int kAudioThreads = 3;
    std::vector<std::thread> threads;
    for (int t = 0; t < kAudioThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEndsPerThread; ++i)
                CreditCompletedPlay(connection(), paths[(t + i) % paths.size()], 1700000000 + i);
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < kEndsPerThread; ++i) RegisterFile(context, connection(), 0, paths[i % paths.size()], 0);
    });
    threads.emplace_back([&] {
        BatchPathList batch;
        for (int i = 0; i < kEndsPerThread; ++i)
            batch.Append(u"http://batch/" + platform::Utf8ToUtf16(std::to_string(i)));
        NullSink sink;
        RunBatch(BatchJob{BatchMode::Add, batch, connection(), context}, sink);
    });
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(connection().LandWaitingWork(kGenerousWait));

    int total = 0;
    for (const auto& path : paths) total += PlayCount(platform::Utf16ToUtf8(path));
    EXPECT_EQ(total, kAudioThreads * kEndsPerThread);
    EXPECT_EQ(PlayCount("http://a/1"), kEndsPerThread);
    EXPECT_EQ(Scalar("SELECT count(*) FROM list WHERE file_name LIKE 'http://batch/%'"), "60");
}

}  // namespace
}  // namespace vellum
