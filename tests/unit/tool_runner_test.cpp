// vellumdb-tool's commands as the console sees them: arguments anywhere on
// the line, one clear line and the usage for bad ones, exit codes, messages
// in both languages, and what each command reports and writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "library_file.h"
#include "tool/tool_arguments.h"
#include "tool/tool_runner.h"

namespace vellum::tool {
namespace {

class RecordingConsole final : public Console {
public:
    void Line(std::u16string_view text) override { lines.emplace_back(text); }
    void Progress(std::u16string_view text) override { progress.emplace_back(text); }
    bool Has(std::u16string_view line) const {
        for (const std::u16string& candidate : lines)
            if (candidate == line) return true;
        return false;
    }
    std::vector<std::u16string> lines;
    std::vector<std::u16string> progress;
};

class FakeFiles final : public ExistenceTester {
public:
    bool PathExists(std::u16string_view path) override { return present.count(std::u16string(path)) != 0; }
    bool VolumeReachable(std::u16string_view root) override { return root != u"Z:"; }
    std::set<std::u16string> present;
};

std::vector<std::u16string> Words(std::initializer_list<const char16_t*> words) {
    return std::vector<std::u16string>(words.begin(), words.end());
}

Request Parse(std::initializer_list<const char16_t*> words) {
    const Parsed parsed = ParseArguments(Words(words), Language::English);
    EXPECT_EQ(parsed.error, u"");
    return parsed.request;
}

TEST(ToolArguments, OptionsMayStandAnywhereOnTheLine) {
    const Request first = Parse({u"--apply", u"relink", u"D:\\a", u"--db", u"x.db", u"E:\\b"});
    EXPECT_EQ(first.command, Command::Relink);
    EXPECT_EQ(first.operands, Words({u"D:\\a", u"E:\\b"}));
    EXPECT_TRUE(first.apply);
    EXPECT_EQ(first.database.value_or(u""), u"x.db");
    const Request second =
        Parse({u"restore-plays", u"--to", u"E:\\b", u"old.db", u"--add-missing", u"--from", u"D:\\a"});
    EXPECT_EQ(second.command, Command::RestorePlays);
    EXPECT_EQ(second.operands, Words({u"old.db"}));
    EXPECT_EQ(second.from.value_or(u""), u"D:\\a");
    EXPECT_EQ(second.to.value_or(u""), u"E:\\b");
    EXPECT_TRUE(second.addMissing);
    EXPECT_EQ(Parse({u"backup"}).operands.size(), 0u);
    EXPECT_EQ(Parse({u"check", u"--help"}).command, Command::Help);
}

TEST(ToolArguments, BadLinesGiveOneClearLineThenTheUsageAndExitTwo) {
    const std::pair<std::vector<std::u16string>, std::u16string> cases[] = {
        {{}, u"vellumdb-tool: no command given"},
        {Words({u"purge"}), u"vellumdb-tool: unknown command: purge"},
        {Words({u"check", u"--force"}), u"vellumdb-tool: unknown option: --force"},
        {Words({u"check", u"--db"}), u"vellumdb-tool: --db needs a value"},
        {Words({u"relink", u"D:\\a"}), u"vellumdb-tool: relink: wrong number of arguments"},
        {Words({u"backup", u"a.db", u"b.db"}), u"vellumdb-tool: backup: wrong number of arguments"},
        {Words({u"check", u"--apply"}), u"vellumdb-tool: --apply does not apply to check"},
        {Words({u"relink", u"--add-missing", u"D:\\a", u"E:\\b"}),
         u"vellumdb-tool: --add-missing does not apply to relink"},
        {Words({u"restore-plays", u"b.db", u"--from", u"D:\\a"}), u"vellumdb-tool: --from and --to go together"},
        {Words({u"relink", u"\\", u"E:\\b"}), u"vellumdb-tool: not a folder: \"\\\""},
        {Words({u"relink", u"D:\\Music", u"d:\\music\\old"}),
         u"vellumdb-tool: the folders lie inside one another: D:\\Music, d:\\music\\old"},
    };
    for (const auto& [arguments, line] : cases) {
        RecordingConsole console;
        EXPECT_EQ(RunTool(arguments, Environment(), console), kBadArguments) << platform::Utf16ToUtf8(line);
        ASSERT_EQ(console.lines.size(), 2u);
        EXPECT_EQ(console.lines[0], line);
        EXPECT_EQ(console.lines[1].rfind(u"Usage: vellumdb-tool", 0), 0u);
    }
}

TEST(ToolMessages, JapaneseOnAJapaneseSystem) {
    RecordingConsole console;
    Environment environment;
    environment.language = Language::Japanese;
    EXPECT_EQ(RunTool(Words({u"purge"}), environment, console), kBadArguments);
    EXPECT_EQ(console.lines.at(0), u"vellumdb-tool: 不明なコマンドです: purge");
    EXPECT_EQ(console.lines.at(1).rfind(u"使い方: vellumdb-tool", 0), 0u);
    EXPECT_EQ(Text(Message::RelinkWouldChange, Language::Japanese, {u"3", u"1"}),
              u"3 行が新しいパスになります(うち 1 行は既存の行と統合)。");
}

class ToolRun : public ::testing::Test {
protected:
    int Run(std::initializer_list<const char16_t*> words) {
        console_ = RecordingConsole();
        Environment environment;
        environment.defaultLibrary = library_.WidePath();
        // Wednesday 2026-12-09, 11:30:05.
        environment.now = [] { return VellumSystemTime{2026, 12, 3, 9, 11, 30, 5, 0}; };
        environment.files = &files_;
        return RunTool(Words(words), environment, console_);
    }
    std::u16string Wide(const std::string& text) const { return platform::Utf8ToUtf16(text); }

    LibraryFile library_;
    FakeFiles files_;
    RecordingConsole console_;
};

TEST_F(ToolRun, CheckCountsRowsAndMissingFilesWithOfflineVolumesApart) {
    library_.Insert("C:\\here.flac");
    library_.Insert("C:\\gone.flac");
    library_.Insert("C:\\album.cue/1");
    library_.Insert("Z:\\unplugged.flac");
    library_.Insert("http://radio/stream");
    files_.present = {u"C:\\here.flac", u"C:\\album.cue"};
    EXPECT_EQ(Run({u"check"}), kDone);
    EXPECT_TRUE(console_.Has(u"Integrity: ok"));
    EXPECT_TRUE(console_.Has(u"Rows: 5"));
    EXPECT_TRUE(console_.Has(u"Rows whose files are missing: 1"));
    EXPECT_TRUE(console_.Has(u"Rows on volumes that cannot be reached (kept by the purge): 1"));
    EXPECT_TRUE(console_.Has(u"  missing: C:\\gone.flac"));
}

TEST_F(ToolRun, ALibraryThatCannotBeOpenedOrIsDamagedExitsThree) {
    const std::string absent = library_.Folder() + "/absent.db";
    EXPECT_EQ(Run({u"check", u"--db", Wide(absent).c_str()}), kLibraryUnusable);
    EXPECT_FALSE(std::filesystem::exists(absent));
    const std::string notes = library_.Folder() + "/notes.db";
    std::ofstream(notes) << std::string(3000, 'n');
    for (auto command : {u"check", u"backup"})
        EXPECT_EQ(Run({command, u"--db", Wide(notes).c_str()}), kLibraryUnusable);
    EXPECT_EQ(Run({u"relink", u"D:\\a", u"E:\\b", u"--db", Wide(notes).c_str()}), kLibraryUnusable);
    EXPECT_EQ(Run({u"restore-plays", Wide(notes).c_str()}), kLibraryUnusable);
    EXPECT_EQ(console_.lines.at(0), u"The backup is damaged: " + Wide(notes));
}

TEST_F(ToolRun, BackupGoesToTheBackupsFolderUnderTheDateAndTimeOrToTheFileGiven) {
    library_.Insert("C:\\a.flac", {4, 4, 0});
    EXPECT_EQ(Run({u"backup"}), kDone);
    const std::string made = library_.Folder() + "/vellumdb-backups/vellumdb-2026-12-09-113005.db";
    EXPECT_TRUE(console_.Has(u"Backup written: " + Wide(made)));
    EXPECT_EQ(FirstText(OpenOwnDatabase(made, SQLITE_OPEN_READONLY, 0).get(), "SELECT playcount FROM list"), "4");
    const std::string named = library_.Folder() + "/mine.db";
    EXPECT_EQ(Run({u"backup", Wide(named).c_str()}), kDone);
    EXPECT_TRUE(std::filesystem::exists(named));
}

TEST_F(ToolRun, RelinkShowsItsChangesAndWritesOnlyWithApply) {
    library_.Insert("D:\\Music\\a.flac", {1, 1, 0});
    library_.Insert("D:\\Music\\b.flac", {2, 2, 0});
    library_.Insert("E:\\New\\b.flac", {3, 3, 0});
    EXPECT_EQ(Run({u"relink", u"d:\\music\\", u"E:\\New"}), kDone);
    EXPECT_TRUE(console_.Has(u"D:\\Music\\a.flac -> E:\\New\\a.flac"));
    EXPECT_TRUE(console_.Has(u"D:\\Music\\b.flac -> E:\\New\\b.flac (merged with the existing row)"));
    EXPECT_TRUE(console_.Has(u"2 rows would take a new path, 1 of them merged with an existing row."));
    EXPECT_EQ(library_.Count(), 3);
    EXPECT_EQ(Run({u"relink", u"d:\\music\\", u"E:\\New", u"--apply"}), kDone);
    EXPECT_TRUE(console_.Has(u"2 rows took a new path, 1 of them merged with an existing row."));
    EXPECT_EQ(library_.Text("SELECT group_concat(file_name || '=' || playcount, ';') FROM list ORDER BY 1"),
              "E:\\New\\a.flac=1;E:\\New\\b.flac=5");
    EXPECT_EQ(Run({u"relink", u"d:\\music\\", u"E:\\New", u"--apply"}), kNothingToDo);
    EXPECT_TRUE(console_.Has(u"No rows lie under d:\\music."));
}

TEST_F(ToolRun, LongWorkShowsItsProgressAndEndsTheDisplay) {
    library_.Exec("BEGIN");
    for (int i = 0; i < 5000; ++i) library_.Insert("D:\\Music\\" + std::to_string(i) + ".flac");
    library_.Exec("COMMIT");
    EXPECT_EQ(Run({u"relink", u"D:\\Music", u"E:\\Music", u"--apply"}), kDone);
    ASSERT_GE(console_.progress.size(), 3u);
    EXPECT_EQ(console_.progress.front(), u"Relinking: 20%");
    EXPECT_EQ(console_.progress[console_.progress.size() - 2], u"Relinking: 100%");
    EXPECT_EQ(console_.progress.back(), u"");
}

TEST_F(ToolRun, RestorePlaysListsUnmatchedRowsAndExitsOneWhenNothingIsToDo) {
    LibraryFile backup("old.db");
    backup.Insert("D:\\Music\\a.flac", {5, 50, 0});
    backup.Insert("D:\\Music\\gone.flac", {1, 1, 0});
    library_.Insert("E:\\New\\a.flac", {1, 60, 0});
    const std::u16string backupPath = backup.WidePath();
    EXPECT_EQ(Run({u"restore-plays", backupPath.c_str(), u"--from", u"D:\\Music", u"--to", u"E:\\New"}), kDone);
    EXPECT_TRUE(console_.Has(u"  not in the library: E:\\New\\gone.flac"));
    EXPECT_TRUE(console_.Has(u"1 tracks would get plays back from the backup; 0 are already up to date."));
    EXPECT_TRUE(console_.Has(u"Nothing was written. Run again with --apply to write."));
    EXPECT_EQ(Run({u"restore-plays", backupPath.c_str(), u"--from", u"D:\\Music", u"--to", u"E:\\New", u"--apply"}),
              kDone);
    PlayRow row;
    ASSERT_TRUE(library_.Find("E:\\New\\a.flac", row));
    EXPECT_EQ(row.playcount, 5);
    EXPECT_EQ(row.lastplayed, 60);
    EXPECT_EQ(Run({u"restore-plays", backupPath.c_str(), u"--from", u"D:\\Music", u"--to", u"E:\\New"}), kNothingToDo);
}

}  // namespace
}  // namespace vellum::tool
