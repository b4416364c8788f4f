// Times after 2038 on the 32-bit module: the core's clock conversions as the
// plugin runs them (built for i686, run on Wine), and a stored time read back
// through the plugin's own GetTimeField by another plugin.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "api/library_interface.h"
#include "host_run.h"
#include "maintenance/play_statistics.h"

namespace vellum::wine {
namespace {

SYSTEMTIME Wall(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

// Seconds since 1970 UTC of a local wall-clock time, by the system's own
// time-zone rules rather than the C runtime.
std::int64_t SystemSeconds(const SYSTEMTIME& local) {
    SYSTEMTIME utc{};
    EXPECT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    FILETIME file{};
    EXPECT_TRUE(SystemTimeToFileTime(&utc, &file));
    const std::uint64_t ticks = (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000u) - 11644473600LL;
}

VellumSystemTime AsVellum(const SYSTEMTIME& time) {
    VellumSystemTime out{};
    static_assert(sizeof out == sizeof time, "layout-identical records");
    CopyMemory(&out, &time, sizeof out);
    return out;
}

TEST(ModuleClock, TimesIn2040ConvertBothWaysThroughTheLow32Bits) {
    for (const SYSTEMTIME& wall : {Wall(2040, 6, 1, 12, 0, 0), Wall(2040, 12, 24, 23, 59, 58)}) {
        const std::int64_t seconds = SystemTimeToSeconds(AsVellum(wall));
        EXPECT_EQ(seconds, SystemSeconds(wall));
        EXPECT_GT(seconds, INT32_MAX);
        // Stored as the signed 32-bit low half, read back as unsigned.
        const std::int32_t stored = static_cast<std::int32_t>(static_cast<std::uint32_t>(seconds));
        EXPECT_LT(stored, 0);
        VellumSystemTime back{};
        ASSERT_TRUE(SecondsToSystemTime(static_cast<std::uint32_t>(stored), back));
        EXPECT_EQ(back.wYear, wall.wYear);
        EXPECT_EQ(back.wMonth, wall.wMonth);
        EXPECT_EQ(back.wDay, wall.wDay);
        EXPECT_EQ(back.wHour, wall.wHour);
        EXPECT_EQ(back.wMinute, wall.wMinute);
        EXPECT_EQ(back.wSecond, wall.wSecond);
    }
}

TEST(ModuleClock, AnotherPluginReadsA2040TimeThroughThePlugin) {
    HostFolder folder;
    InstallExampleClient(folder, 1);
    ASSERT_TRUE(folder.Run("send vellumdb_example_run\n").Has("send vellumdb_example_run = nonzero"));

    const SYSTEMTIME wall = Wall(2040, 6, 1, 12, 0, 0);
    const std::int32_t stored = static_cast<std::int32_t>(static_cast<std::uint32_t>(SystemSeconds(wall)));
    {
        const SqliteConnection db = OpenSqlite(WideToUtf8(folder.Database()));
        ASSERT_TRUE(db);
        const std::string update = "UPDATE list SET lastplayed = " + std::to_string(stored);
        EXPECT_EQ(sqlite3_exec(db.get(), update.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // The example adds the file again (keeping the stored time) and reads it.
    ASSERT_TRUE(folder.Run("send vellumdb_example_run\n").Has("send vellumdb_example_run = nonzero"));
    const std::string report = ReadBytes(folder.Plugins() + L"\\example_report.txt");
    EXPECT_NE(report.find("lastplayed=" + std::to_string(stored) + "\n"), std::string::npos) << report;
    EXPECT_NE(report.find("lastplayed_local=2040-06-01 12:00:00\n"), std::string::npos) << report;
}

}  // namespace
}  // namespace vellum::wine
