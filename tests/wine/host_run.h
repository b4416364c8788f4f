// Runs the stand-in host in a fresh folder laid out like a real installation:
//   <folder>\host.exe, bass.dll, Plugins\<plugin>.qpl, Plugins\bass\tags.dll
// and reads back its log and the library database.
#pragma once

#include <windows.h>

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/unique_handle_win32.h"

namespace vellum::wine {

// Scripts that read the plugin's change tick twice pause this long between
// the readings. GetTickCount steps by about 16 ms, so the tick moves at least
// half the pause: a tick stamped before the pause cannot pass for one after.
constexpr unsigned long kPauseMs = 100;
constexpr unsigned long kTickMovedAtLeast = kPauseMs / 2;

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// The folder the test executable and the built artifacts live in.
std::wstring ArtifactFolder();

struct HostLog {
    int exitCode = -1;
    std::vector<std::string> lines;
    bool Has(const std::string& line) const;
    // Every line that starts with `prefix`.
    std::vector<std::string> Starting(const std::string& prefix) const;
    std::string Text() const;
};

struct InstallOptions {
    std::wstring pluginName = L"vellumdb.qpl";
    bool withTags = true;
    bool withBass = true;
    // Further plugins from the artifact folder, e.g. L"library_client.qpl".
    std::vector<std::wstring> extraPlugins;
};

class HostFolder {
public:
    // A new empty folder under the temp folder; `leaf` names extra levels,
    // separated by backslashes.
    explicit HostFolder(const std::wstring& leaf = L"");
    ~HostFolder();
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;

    void Install(const InstallOptions& options = {});
    // Runs host.exe with `arguments` and the script; waits up to `timeoutMs`.
    HostLog Run(const std::string& script, const std::wstring& arguments = L"", DWORD timeoutMs = 120000);

    const std::wstring& Path() const { return path_; }
    std::wstring Plugins() const { return path_ + L"\\Plugins"; }
    std::wstring Database(const std::wstring& name = L"vellumdb.db") const { return Plugins() + L"\\" + name; }

private:
    std::wstring root_;
    std::wstring path_;
};

// A started program: its process and first thread, each with its owner.
struct StartedProcess {
    win32::UniqueKernelHandle process;
    win32::UniqueKernelHandle thread;
};
// Starts `command` with the creation `flags`, in `folder` (null: this process's
// current folder); false when it cannot be started.
bool StartProcess(std::wstring command, StartedProcess& started, DWORD flags = 0, const wchar_t* folder = nullptr);

// A connection or statement of the test's own, closed or finalized at scope end.
struct SqliteRelease {
    void operator()(sqlite3* connection) const { sqlite3_close(connection); }
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using SqliteConnection = std::unique_ptr<sqlite3, SqliteRelease>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteRelease>;
// Opens the database at the UTF-8 path with the open flags; null when it cannot.
SqliteConnection OpenSqlite(const std::string& utf8Path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
// Compiles one statement; null when it does not compile.
SqliteStatement Prepare(sqlite3* connection, const std::string& sql);

// Rows of a query on a database file, every value as text ("NULL" for null).
std::vector<std::vector<std::string>> Query(const std::wstring& database, const std::string& sql);
// The first value of the first row, or "" when there is none.
std::string QueryValue(const std::wstring& database, const std::string& sql);
bool FileExists(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// A valid 16-bit PCM RIFF WAVE file of silence.
void WriteWav(const std::wstring& path, int seconds, int rate = 44100, int channels = 2);
// Installs the folder with the example client beside the plugin and gives the
// client one WAV of `seconds` to add when it is triggered; returns its path.
std::wstring InstallExampleClient(HostFolder& folder, int seconds);

}  // namespace vellum::wine
