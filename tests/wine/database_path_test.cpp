// GetDatabasePath as another plugin uses it: the text it reports must reach the
// plugin's own vellumdb.db through the ANSI file functions and through SQLite,
// also where the folder's long name has no ANSI form or is too long. The
// locale tests run with the code page their name gives (set by CMake).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "host_run.h"
#include "plugin/database_path_win32.h"

namespace vellum::wine {
namespace {

// GetDatabasePath's longest text, as the header promises it: 259 bytes and
// the terminating zero fill MAX_PATH.
constexpr std::size_t kLongestAnsiPath = MAX_PATH - 1;

// The folder name: "日本語フォルダ" (Japanese for "Japanese folder").
const std::wstring kJapaneseFolder = L"\x65E5\x672C\x8A9E\x30D5\x30A9\x30EB\x30C0";

// Volume and file index of a file opened by a handle, which it closes, or false.
bool Identity(HANDLE opened, std::uint64_t& id) {
    const win32::UniqueFile file(opened);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool got = file && GetFileInformationByHandle(file.Get(), &info);
    id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow) ^
         (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 48);
    return got;
}

class DatabasePath : public ::testing::Test {
protected:
    // Runs the example client, which adds one file and reports GetDatabasePath's
    // text byte for byte; returns that text.
    std::string ReportedPath(HostFolder& folder) {
        InstallExampleClient(folder, 1);
        HostLog log = folder.Run("send vellumdb_example_run\n");
        EXPECT_TRUE(log.Has("send vellumdb_example_run = nonzero")) << log.Text();
        const std::string report = ReadBytes(folder.Plugins() + L"\\example_report.txt");
        const std::string::size_type start = report.find("database=");
        if (start == std::string::npos) return "(no report)";
        const std::string::size_type end = report.find('\n', start);
        return report.substr(start + 9, end - start - 9);
    }

    // The text reaches the plugin's file with CreateFileA and with sqlite3_open.
    void ExpectReachesTheLibrary(const std::string& text, HostFolder& folder) {
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find('?'), std::string::npos) << text;
        EXPECT_LE(text.size(), kLongestAnsiPath) << text;
        std::uint64_t viaText = 0, viaWide = 0;
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        ASSERT_TRUE(
            Identity(CreateFileA(text.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr), viaText))
            << text;
        ASSERT_TRUE(Identity(
            CreateFileW(folder.Database().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr), viaWide));
        EXPECT_EQ(viaText, viaWide);
        const SqliteConnection db = OpenSqlite(text, SQLITE_OPEN_READONLY);
        ASSERT_TRUE(db) << text;
        const SqliteStatement count = Prepare(db.get(), "SELECT count(*) FROM list");
        ASSERT_TRUE(count);
        ASSERT_EQ(sqlite3_step(count.get()), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(count.get(), 0), 1);
    }
};

TEST_F(DatabasePath, AJapaneseFolderUnderCodePage1252IsNamedByItsShortForm) {
    ASSERT_EQ(GetACP(), 1252u) << "run with LC_ALL=C.UTF-8";
    HostFolder folder(kJapaneseFolder);
    const std::string text = ReportedPath(folder);
    ExpectReachesTheLibrary(text, folder);
    EXPECT_NE(text.find('~'), std::string::npos) << text;
}

TEST_F(DatabasePath, AJapaneseFolderUnderCodePage932ReachesTheLibrary) {
    ASSERT_EQ(GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
    HostFolder folder(kJapaneseFolder);
    ExpectReachesTheLibrary(ReportedPath(folder), folder);
}

TEST_F(DatabasePath, AnAsciiFolderIsNamedByItsLongForm) {
    HostFolder folder(L"plain folder");
    const std::string text = ReportedPath(folder);
    EXPECT_EQ(text, WideToUtf8(folder.Database()));
    ExpectReachesTheLibrary(text, folder);
}

// Levels of `name` for a host folder of `length` characters: a working folder
// may have at most about 255, and vellumdb.db's path has 20 more.
std::wstring LevelsUpTo(std::size_t length, const std::wstring& name) {
    const std::size_t base = HostFolder().Path().size();  // as long as the next one's
    std::wstring leaf = name;
    while (base + 1 + leaf.size() + 1 + name.size() <= length) leaf += L"\\" + name;
    // A last level shorter than `name` (so 8.3 names stay 8.3) fills the rest.
    const std::size_t rest = length - base - 1 - leaf.size();
    if (rest > 1) leaf += L"\\" + std::wstring(rest - 1, L'z');
    return leaf;
}

TEST_F(DatabasePath, APathTooLongForTheLongFormIsNamedByItsShortForm) {
    // Within the working folder's limit, yet with vellumdb.db's 20 more past
    // kLongestAnsiPath.
    constexpr std::size_t kHostFolderLength = 245;
    HostFolder folder(LevelsUpTo(kHostFolderLength, L"a folder with a long name"));
    ASSERT_GT(folder.Database().size(), kLongestAnsiPath);
    ExpectReachesTheLibrary(ReportedPath(folder), folder);
}

TEST_F(DatabasePath, AnAccentedFolderIsNamedByAnAsciiFormThatSqliteReadsToo) {
    ASSERT_EQ(GetACP(), 1252u) << "run with LC_ALL=C.UTF-8";
    HostFolder folder(L"caf\x00E9 music");  // 1252 has the letter, UTF-8 spells it otherwise
    const std::string text = ReportedPath(folder);
    constexpr unsigned kFirstNonAscii = 0x80;
    for (char c : text) EXPECT_LT(static_cast<unsigned char>(c), kFirstNonAscii) << text;
    ExpectReachesTheLibrary(text, folder);
}

// The choice itself, on paths the stand-in host cannot be run from.
TEST(DatabasePathText, IsEmptyRatherThanCutWhenNoFormFits) {
    HostFolder folder(L"abcdefgh");
    const std::wstring file = folder.Path() + L"\\abcdefgh.db";
    WriteBytes(file, "");
    wchar_t shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(file.c_str(), shortPath, MAX_PATH), 0u);
    const std::string whole = WideToUtf8(file), shortForm = WideToUtf8(shortPath);
    ASSERT_LT(shortForm.size(), whole.size());  // the host folder's name is not 8.3
    EXPECT_EQ(AnsiNameFor(file, whole.size() + 1), whole);
    EXPECT_EQ(AnsiNameFor(file, whole.size()), shortForm);
    EXPECT_EQ(AnsiNameFor(file, shortForm.size()), "");
}

TEST(DatabasePathText, AFileWithoutShortFormOrAnsiFormGivesAnEmptyText) {
    ASSERT_EQ(GetACP(), 1252u) << "run with LC_ALL=C.UTF-8";
    HostFolder folder;
    const std::wstring missing = folder.Path() + L"\\" + kJapaneseFolder + L"\\vellumdb.db";
    EXPECT_EQ(AnsiNameFor(missing, 260), "");
    const std::wstring accented = folder.Path() + L"\\caf\x00E9\\vellumdb.db";
    EXPECT_EQ(AnsiNameFor(accented, 260), WideToUtf8(folder.Path()) + "\\caf\xE9\\vellumdb.db");
}

}  // namespace
}  // namespace vellum::wine
