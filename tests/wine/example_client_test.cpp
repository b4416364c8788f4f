// The example client plugin: another plugin learns vellumdb's version and
// obtains its interface through the host, adds a file and reads its record back.
#include <gtest/gtest.h>

#include <string>

#include "host_run.h"
#include "vellumdb.h"

namespace vellum::wine {
namespace {

bool Contains(const std::string& text, const std::string& line) { return text.find(line + "\n") != std::string::npos; }

TEST(ExampleClient, AddsAFileAndReadsItsRecordThroughTheInterface) {
    HostFolder folder;
    const std::wstring track = InstallExampleClient(folder, 3);

    HostLog log = folder.Run("send vellumdb_example_run\n");
    EXPECT_TRUE(log.Has("send vellumdb_example_run = nonzero")) << log.Text();
    const std::string report = ReadBytes(folder.Plugins() + L"\\example_report.txt");
    const std::string name = WideToUtf8(track);
    // Its first step: which vellumdb it talks to.
    EXPECT_EQ(report.find("version=" + std::to_string(VELLUMDB_VERSION_NUMBER) + "\n"), 0u) << report;
    EXPECT_TRUE(Contains(report, "database=" + WideToUtf8(folder.Database()))) << report;
    EXPECT_TRUE(Contains(report, "record " + name)) << report;
    EXPECT_TRUE(Contains(report, "file_name=" + name)) << report;
    EXPECT_TRUE(Contains(report, "codec=wave pcm")) << report;
    EXPECT_TRUE(Contains(report, "duration=3")) << report;
    EXPECT_TRUE(Contains(report, "channels=2")) << report;
    EXPECT_TRUE(Contains(report, "samplingrate=44100")) << report;
    EXPECT_TRUE(Contains(report, "playcount=0")) << report;
    EXPECT_TRUE(Contains(report, "lastplayed_local=never")) << report;
    EXPECT_TRUE(Contains(report, "tick_unchanged=1")) << report;
    EXPECT_TRUE(Contains(report, "listener_heard=1 notifications=0")) << report;
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list"), "1");
}

}  // namespace
}  // namespace vellum::wine
