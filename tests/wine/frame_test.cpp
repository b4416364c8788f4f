// The plugin frame on the stand-in host: loading, lifecycle events, the
// database file beside the module, the missing tags.dll report.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

#include "host_run.h"

namespace vellum::wine {
namespace {

const char kSchema[] =
    "CREATE TABLE list(file_name TEXT UNIQUE , file_title TEXT , file_ext TEXT , file_size INTEGER DEFAULT 0 , "
    "statDuration INTEGER DEFAULT 0 , statChannels INTEGER DEFAULT 0 , statSamplingrate INTEGER DEFAULT 0 , "
    "statBitrate INTEGER DEFAULT 0 , infoCodec_sub TEXT , rating INTEGER DEFAULT 0 , playcount INTEGER DEFAULT 0 "
    ", lastplayed INTEGER DEFAULT 0 , modify INTEGER DEFAULT 0 , tagTitle TEXT , tagArtist TEXT , tagAlbum TEXT , "
    "tagGenre TEXT , tagDate TEXT , tagComment TEXT , tagTracknumber TEXT , tagPerformer TEXT , tagCopyright TEXT "
    ", tagSubtitle TEXT , tagAlbumArtist TEXT , tagDiscNumber TEXT , PRIMARY KEY(file_name))";

std::string Schema(const std::wstring& database) {
    return QueryValue(database, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'list'");
}

TEST(PluginFrame, LoadsWithOneStableDescriptorAndCreatesTheDatabaseBesideIt) {
    HostFolder folder;
    folder.Install();
    HostLog log = folder.Run("plugins\nevent 3\nevent 4\nevent 5\nevent 7\n");
    EXPECT_TRUE(log.Has("plugin vellumdb.qpl descriptor=same slot0=0")) << log.Text();
    EXPECT_TRUE(log.Has("event 6 = 1")) << log.Text();
    EXPECT_TRUE(log.Has("event 0 = 1")) << log.Text();
    for (const char* event : {"event 3 = 1", "event 4 = 1", "event 5 = 1", "event 7 = 1"})
        EXPECT_TRUE(log.Has(event)) << event << "\n" << log.Text();
    EXPECT_TRUE(log.Starting("messagebox").empty()) << log.Text();
    EXPECT_EQ(Schema(folder.Database()), kSchema);
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list"), "0");
}

TEST(PluginFrame, StoredRowsSurviveARestart) {
    HostFolder folder;
    folder.Install();
    folder.Run("");
    // Another tool adds a row between two runs of the host.
    {
        const SqliteConnection other = OpenSqlite(WideToUtf8(folder.Database()));
        ASSERT_TRUE(other);
        sqlite3_exec(other.get(), "INSERT INTO list(file_name, playcount) VALUES('C:\\kept.wav', 7)", nullptr, nullptr,
                     nullptr);
    }
    folder.Run("");
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT file_name || '=' || playcount FROM list"), "C:\\kept.wav=7");
    EXPECT_EQ(Schema(folder.Database()), kSchema);
}

TEST(PluginFrame, TheDatabaseTakesTheModulesOwnName) {
    HostFolder folder;
    InstallOptions options;
    options.pluginName = L"other.qpl";
    folder.Install(options);
    HostLog log = folder.Run("plugins\n");
    EXPECT_TRUE(log.Has("plugin other.qpl descriptor=same slot0=0")) << log.Text();
    EXPECT_TRUE(FileExists(folder.Database(L"other.db")));
    EXPECT_FALSE(FileExists(folder.Database(L"vellumdb.db")));
}

TEST(PluginFrame, AFolderWithJapaneseCharactersWorks) {
    HostFolder folder(L"音楽ライブラリ");
    folder.Install();
    folder.Run("");
    EXPECT_EQ(Schema(folder.Database()), kSchema);
}

TEST(PluginFrame, AMissingTagsLibraryIsReportedOnceAndStartUpGoesOn) {
    HostFolder folder;
    InstallOptions options;
    options.withTags = false;
    folder.Install(options);
    HostLog log = folder.Run("event 7\n");
    EXPECT_EQ(log.Starting("messagebox"),
              std::vector<std::string>{"messagebox caption=vellumdb.qpl text=tags.dllの読み込みに失敗しました。"})
        << log.Text();
    EXPECT_TRUE(log.Has("event 6 = 1")) << log.Text();
    EXPECT_TRUE(log.Has("event 7 = 1")) << log.Text();
    EXPECT_EQ(Schema(folder.Database()), kSchema);
}

TEST(PluginFrame, TheLastChangeTickIsTheOneTakenAtInitialisation) {
    HostFolder folder;
    folder.Install();
    HostLog log = folder.Run("sleep 50\ninit-tick\nlastchange\n");
    auto ticks = log.Starting("init-tick ");
    auto last = log.Starting("lastchange ");
    ASSERT_EQ(ticks.size(), 1u) << log.Text();
    ASSERT_EQ(last.size(), 1u) << log.Text();
    unsigned long before = 0, after = 0, value = 0;
    ASSERT_EQ(std::sscanf(ticks[0].c_str(), "init-tick %lu %lu", &before, &after), 2);
    ASSERT_EQ(std::sscanf(last[0].c_str(), "lastchange %lu", &value), 1);
    EXPECT_LE(before, value);
    EXPECT_GE(after, value);
}

class CueInterfaceVersion : public ::testing::TestWithParam<const wchar_t*> {};

// Only a version-39 record is taken: with any other answer the plugin runs on
// without the host's cue lookup, so cue tracks cannot be resolved and titles
// come from the path, and nothing calls through the missing interface.
TEST_P(CueInterfaceVersion, OnlyVersion39IsUsedAndAnyAnswerLeavesTheFrameWorking) {
    HostFolder folder;
    folder.Install();
    WriteWav(folder.Path() + L"\\album.wav", 4);
    WriteBytes(folder.Path() + L"\\album.cue",
               "FILE \"album.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n");
    const std::string folderText = WideToUtf8(folder.Path());
    HostLog log = folder.Run(
        "event 7\nadd " + folderText + "\\album.cue/1\nadd " + folderText + "\\album.wav\nselect all\ncommand 61600\n",
        std::wstring(L"--cue-version ") + GetParam());
    EXPECT_TRUE(log.Has("event 6 = 1")) << log.Text();
    EXPECT_TRUE(log.Has("event 7 = 1")) << log.Text();
    EXPECT_EQ(log.exitCode, 0) << log.Text();
    EXPECT_EQ(Schema(folder.Database()), kSchema);
    const bool used = std::wstring(GetParam()) == L"39";
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list WHERE file_name LIKE '%.cue/1'"),
              used ? "1" : "0");
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT file_title FROM list WHERE file_name LIKE '%album.wav'"),
              "album.wav");
}

INSTANTIATE_TEST_SUITE_P(Versions, CueInterfaceVersion, ::testing::Values(L"39", L"38", L"40", L"null"));

}  // namespace
}  // namespace vellum::wine
