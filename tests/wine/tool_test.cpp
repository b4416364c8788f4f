// vellumdb-tool.exe beside the stand-in player's Plugins folder: every
// command run while the player plays and counts, with nothing the player does
// lost; the plugin's automatic backup made in the background and the player
// shutting down cleanly; the messages in Japanese on a Japanese system.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "host_run.h"
#include "library/schema.h"

namespace vellum::wine {
namespace {

constexpr DWORD kGenerousWait = 300000;
constexpr int kPlays = 30;

struct ToolResult {
    int exitCode = -1;
    std::string output;  // UTF-8, from the tool's UTF-16 output
};

// Runs vellumdb-tool.exe from `folder` with its output redirected to a file.
ToolResult RunTool(const std::wstring& folder, const std::wstring& arguments) {
    static int runs = 0;
    const std::wstring outputPath = folder + L"\\tool-output-" + std::to_wstring(++runs) + L".txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ToolResult result;
    {
        win32::UniqueFile output(
            CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
        if (!output) return result;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.Get();
        startup.hStdError = output.Get();
        PROCESS_INFORMATION process{};
        std::wstring command = L"\"" + folder + L"\\vellumdb-tool.exe\" " + arguments;
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
                            &startup, &process)) {
            result.output = "cannot start the tool: error " + std::to_string(GetLastError());
            return result;
        }
        win32::UniqueKernelHandle processHandle(process.hProcess), thread(process.hThread);
        if (WaitForSingleObject(processHandle.Get(), kGenerousWait) != WAIT_OBJECT_0)
            TerminateProcess(processHandle.Get(), 99);
        DWORD code = 0;
        GetExitCodeProcess(processHandle.Get(), &code);
        result.exitCode = static_cast<int>(code);
    }
    const std::string bytes = ReadBytes(outputPath);
    result.output = WideToUtf8(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2));
    return result;
}

// The stand-in player's main window of one process.
struct PlayerWindow {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindPlayerWindow(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<PlayerWindow*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (owner != found->process || std::wstring(name) != L"VellumStandInHost") return TRUE;
    found->window = window;
    return FALSE;
}

// The first value of a query on a file the player may be writing: waits for
// its write lock as any reader would, rather than reading nothing.
std::string Value(const std::wstring& database, const std::string& sql) {
    SqliteConnection connection = OpenSqlite(WideToUtf8(database), SQLITE_OPEN_READONLY);
    if (!connection) return "no database";
    sqlite3_busy_timeout(connection.get(), static_cast<int>(kGenerousWait));
    SqliteStatement statement = Prepare(connection.get(), sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return "";
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
}

void Exec(const std::wstring& database, const std::string& sql) {
    SqliteConnection connection = OpenSqlite(WideToUtf8(database));
    ASSERT_TRUE(connection);
    ASSERT_EQ(sqlite3_exec(connection.get(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

// A new library (or backup) file with the given rows.
void MakeLibrary(const std::wstring& path, const std::string& rows) {
    Exec(path, std::string(kCreateTableSql) + ";" + rows);
}

class ToolBesideThePlayer : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Install();
        CopyFileW((ArtifactFolder() + L"\\vellumdb-tool.exe").c_str(),
                  (folder_.Path() + L"\\vellumdb-tool.exe").c_str(), FALSE);
        CreateDirectoryW((folder_.Path() + L"\\media").c_str(), nullptr);
        WriteWav(folder_.Path() + L"\\media\\tone.wav", 1);
    }

    // Starts the player on a script that plays the tone `plays` times to its
    // end, then idles until its window is closed.
    void StartPlayer(int plays) {
        std::string script = "add %DIR%\\media\\tone.wav\nselect all\n";
        for (int i = 0; i < plays; ++i) script += "play 0\nplay-end\nwait-syncs\nsleep 300\n";
        for (int i = 0; i < 3000; ++i) script += "sleep 200\n";
        WriteBytes(folder_.Path() + L"\\script.txt", script);
        const std::wstring command = L"\"" + folder_.Path() + L"\\host.exe\" --log \"" + folder_.Path() +
                                     L"\\host.log\" \"" + folder_.Path() + L"\\script.txt\"";
        ASSERT_TRUE(StartProcess(command, player_, 0, folder_.Path().c_str()));
    }

    // Waits up to kGenerousWait for `done`, polling.
    template <typename Condition>
    bool WaitFor(Condition done) {
        for (DWORD waited = 0; waited < kGenerousWait; waited += 200) {
            if (done()) return true;
            Sleep(200);
        }
        return done();
    }

    std::string ToneCount() {
        return Value(folder_.Database(), "SELECT playcount FROM list WHERE file_name LIKE '%\\media\\tone.wav'");
    }

    // Closes the player's window as a listener would and waits for it to exit.
    int ClosePlayer() {
        const DWORD id = GetProcessId(player_.process.Get());
        PlayerWindow search{id, nullptr};
        EnumWindows(FindPlayerWindow, reinterpret_cast<LPARAM>(&search));
        if (search.window != nullptr) PostMessageW(search.window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(player_.process.Get(), kGenerousWait) != WAIT_OBJECT_0) return -1;
        DWORD code = 1;
        GetExitCodeProcess(player_.process.Get(), &code);
        return static_cast<int>(code);
    }

    std::wstring Quoted(const std::wstring& path) const { return L"\"" + path + L"\""; }

    // A player a failed assertion left running is ended before its folder goes.
    void TearDown() override {
        if (player_.process && WaitForSingleObject(player_.process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(player_.process.Get(), 99);
            WaitForSingleObject(player_.process.Get(), kGenerousWait);
        }
    }

    HostFolder folder_;
    StartedProcess player_;
};

TEST_F(ToolBesideThePlayer, EveryCommandWhileThePlayerPlaysAndCountsLosesNothing) {
    const std::wstring library = folder_.Database();
    MakeLibrary(library,
                "INSERT INTO list(file_name, playcount, lastplayed, rating) VALUES"
                "('D:\\Old\\a.flac', 3, 100, 0), ('D:\\Old\\b.flac', 2, 200, 4), ('E:\\New\\b.flac', 1, 300, 0), "
                "('C:\\nowhere\\gone.flac', 0, 0, 0)");
    const std::wstring old = folder_.Path() + L"\\old.db";
    MakeLibrary(old,
                "INSERT INTO list(file_name, playcount, lastplayed, rating) VALUES"
                "('D:\\Old\\a.flac', 9, 900, 2), ('D:\\Old\\gone.flac', 1, 1, 0)");
    StartPlayer(kPlays);
    ASSERT_TRUE(WaitFor([&] { return !ToneCount().empty() && ToneCount() != "0"; }));

    ToolResult run = RunTool(folder_.Path(), L"check");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Integrity: ok\r\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Rows whose files are missing: 1\r\n"), std::string::npos) << run.output;
    // Wine maps no D: or E: drive: those rows are on volumes that cannot be reached.
    EXPECT_NE(run.output.find("Rows on volumes that cannot be reached (kept by the purge): 3\r\n"), std::string::npos)
        << run.output;

    run = RunTool(folder_.Path(), L"backup " + Quoted(folder_.Path() + L"\\now.db"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    ASSERT_TRUE(FileExists(folder_.Path() + L"\\now.db"));
    EXPECT_EQ(Value(folder_.Path() + L"\\now.db", "PRAGMA quick_check"), "ok");
    run = RunTool(folder_.Path(), L"backup");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Backup written: " + WideToUtf8(folder_.Plugins()) + "\\vellumdb-backups\\vellumdb-"),
              std::string::npos)
        << run.output;

    run = RunTool(folder_.Path(), L"relink d:\\old\\ E:\\New");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("D:\\Old\\b.flac -> E:\\New\\b.flac (merged with the existing row)\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(Value(library, "SELECT count(*) FROM list WHERE file_name LIKE 'D:\\Old\\%'"), "2");
    run = RunTool(folder_.Path(), L"--apply relink d:\\old\\ E:\\New");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Value(library,
                    "SELECT playcount || '/' || lastplayed || '/' || rating FROM list "
                    "WHERE file_name = 'E:\\New\\b.flac'"),
              "3/300/4");

    const std::wstring restore = L"restore-plays " + Quoted(old) + L" --from D:\\Old --to E:\\New";
    run = RunTool(folder_.Path(), restore);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("  not in the library: E:\\New\\gone.flac\r\n"), std::string::npos) << run.output;
    run = RunTool(folder_.Path(), restore + L" --apply");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Value(library,
                    "SELECT playcount || '/' || lastplayed || '/' || rating FROM list "
                    "WHERE file_name = 'E:\\New\\a.flac'"),
              "9/900/2");
    EXPECT_EQ(RunTool(folder_.Path(), restore + L" --apply").exitCode, 1);

    run = RunTool(folder_.Path(), L"relink E:\\New");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output.rfind("vellumdb-tool: relink: wrong number of arguments\r\nUsage: ", 0), 0u) << run.output;
    EXPECT_EQ(RunTool(folder_.Path(), L"check --db " + Quoted(folder_.Path() + L"\\script.txt")).exitCode, 3);

    // Every play the player made is counted, and it shut down cleanly.
    EXPECT_TRUE(WaitFor([&] { return ToneCount() == std::to_string(kPlays); })) << ToneCount();
    EXPECT_EQ(ClosePlayer(), 0) << ReadBytes(folder_.Path() + L"\\host.log");
    EXPECT_EQ(ToneCount(), std::to_string(kPlays));
    EXPECT_EQ(Value(library, "PRAGMA quick_check"), "ok");
}

TEST_F(ToolBesideThePlayer, ThePluginBacksTheLibraryUpInTheBackgroundAndStopsAtShutDown) {
    StartPlayer(0);
    SYSTEMTIME today;
    GetLocalTime(&today);
    wchar_t name[64];
    wsprintfW(name, L"\\vellumdb-backups\\vellumdb-%04u-%02u-%02u.db", today.wYear, today.wMonth, today.wDay);
    const std::wstring daily = folder_.Plugins() + name;
    EXPECT_TRUE(WaitFor([&] { return FileExists(daily); }));
    EXPECT_EQ(ClosePlayer(), 0) << ReadBytes(folder_.Path() + L"\\host.log");
    EXPECT_EQ(Value(daily, "PRAGMA quick_check"), "ok");
    EXPECT_FALSE(FileExists(daily + L".partial"));
}

TEST(ToolInJapanese, MessagesAreJapaneseOnAJapaneseSystem) {
    HostFolder folder;
    folder.Install();
    CopyFileW((ArtifactFolder() + L"\\vellumdb-tool.exe").c_str(), (folder.Path() + L"\\vellumdb-tool.exe").c_str(),
              FALSE);
    MakeLibrary(folder.Database(), "");
    ToolResult run = RunTool(folder.Path(), L"check");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("整合性: 問題なし\r\n"), std::string::npos) << run.output;
    run = RunTool(folder.Path(), L"purge");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output.rfind("vellumdb-tool: 不明なコマンドです: purge\r\n使い方: ", 0), 0u) << run.output;
}

}  // namespace
}  // namespace vellum::wine
