// A module unloaded without the shut-down event, as a host that exits in a
// hurry unloads it: the plugin joins no thread and runs no SQL under the
// loader lock, so FreeLibrary returns even while another program holds the
// library's write lock, and the work that was waiting lands at the next start.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <string>
#include <thread>

#include "host_run.h"
#include "in_process_plugin.h"

namespace vellum::wine {
namespace {

// How long the test waits for an outcome; never a budget the plugin must meet.
constexpr DWORD kGenerousWaitMs = 60000;

std::string Count(sqlite3* connection, const std::string& url) {
    SqliteStatement count = Prepare(connection, "SELECT count(*) FROM list WHERE file_name = '" + url + "'");
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW) return "?";
    return reinterpret_cast<const char*>(sqlite3_column_text(count.get(), 0));
}

DWORD WINAPI Unload(LPVOID module) { return FreeLibrary(static_cast<HMODULE>(module)) ? 0 : 1; }

TEST(Unload, WithoutTheShutDownEventItReturnsUnderAForeignLockAndTheWorkLandsLater) {
    HostFolder folder;
    const std::wstring module = folder.Path() + L"\\vellumdb.qpl";
    ASSERT_TRUE(CopyFileW((ArtifactFolder() + L"\\vellumdb.qpl").c_str(), module.c_str(), FALSE));
    const std::string url = "http://radio/unloaded";
    const SqliteConnection other = OpenSqlite(WideToUtf8(folder.Path() + L"\\vellumdb.db"));
    ASSERT_TRUE(other);
    sqlite3_busy_timeout(other.get(), 10000);
    {
        HMODULE loaded = LoadLibraryW(module.c_str());
        ASSERT_NE(loaded, nullptr);
        auto info = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(GetProcAddress(loaded, "GetGPluginInfo")));
        const auto* slots = static_cast<const std::uintptr_t*>(info());
        const win32::UniqueWindow window(
            CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        {
            const MessageBoxCloser boxes;
            reinterpret_cast<EventFn>(slots[2])(window.Get(), 6);
            reinterpret_cast<EventFn>(slots[2])(window.Get(), 0);
        }
        const auto* table = reinterpret_cast<const VellumLibraryInterface*>(slots + 3);
        ASSERT_EQ(sqlite3_exec(other.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        table->AddFile(url.c_str());
        // No event 1: the module goes while its work still waits for the lock.
        const win32::UniqueKernelHandle unloading(CreateThread(nullptr, 0, Unload, loaded, 0, nullptr));
        ASSERT_TRUE(unloading);
        EXPECT_EQ(WaitForSingleObject(unloading.Get(), kGenerousWaitMs), WAIT_OBJECT_0) << "FreeLibrary hung";
        sqlite3_exec(other.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    // The next start lands what waited, once.
    LoadedPlugin again(folder);
    ASSERT_TRUE(again.Loaded());
    const DWORD start = GetTickCount();
    while (Count(other.get(), url) != "1" && GetTickCount() - start < kGenerousWaitMs) Sleep(50);
    EXPECT_EQ(Count(other.get(), url), "1");
}

}  // namespace
}  // namespace vellum::wine
