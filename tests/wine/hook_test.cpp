// The message hook and the lifecycle events, driven in this process: which
// events let listeners hear the host window, what an interface or version
// request answers, the playing-channel notice, events that are not the
// plugin's, and track paths too long for their buffers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host_run.h"
#include "in_process_plugin.h"
#include "vellumdb.h"

namespace vellum::wine {
namespace {

typedef DWORD(__stdcall* StreamCreateFileFn)(BOOL, const void*, ULONGLONG, ULONGLONG, DWORD);

constexpr UINT kTestMessage = WM_USER + 77;
int g_heard = 0;
std::wstring g_playingPath;
HWND g_playlistView = nullptr;
HWND g_playlistTabs = nullptr;

// Written the way a Win32 plugin writes a window procedure.
LRESULT CALLBACK CountingListener(HWND, UINT message, WPARAM, LPARAM) {
    if (message == kTestMessage) ++g_heard;
    return 0;
}

// The host window's answers that a play start relies on: the playing path and
// a length of 99 s, which only a probe of the playing channel stores.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == 1112 && wParam == 204) {
        SetWindowTextW(reinterpret_cast<HWND>(lParam), g_playingPath.c_str());
        return 1;
    }
    if (message == 1026 && wParam == 106) return 99;
    if (message == 1026 && wParam == 107) return reinterpret_cast<LRESULT>(g_playlistView);
    if (message == 1026 && wParam == 108) return reinterpret_cast<LRESULT>(g_playlistTabs);
    return DefWindowProcW(window, message, wParam, lParam);
}

class MessageHook : public ::testing::Test {
protected:
    void SetUp() override {
        g_heard = 0;
        bass_.Reset(LoadLibraryW((ArtifactFolder() + L"\\bass.dll").c_str()));
        ASSERT_TRUE(bass_);
        const std::wstring module = folder_.Path() + L"\\vellumdb.qpl";
        ASSERT_TRUE(CopyFileW((ArtifactFolder() + L"\\vellumdb.qpl").c_str(), module.c_str(), FALSE));
        module_.Reset(LoadLibraryW(module.c_str()));
        ASSERT_TRUE(module_);
        auto info =
            reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), "GetGPluginInfo")));
        slots_ = static_cast<const std::uintptr_t*>(info());
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = HostProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VellumHookTestHost";
        RegisterClassW(&windowClass);
        window_.Reset(CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      windowClass.hInstance, nullptr));
        ASSERT_TRUE(window_);
    }
    // The plugin is shut down and freed before the window and bass.dll go.
    void TearDown() override {
        if (module_ && !shutDown_) Event(1);
        module_.Reset();
        window_.Reset();
        bass_.Reset();
    }
    std::int32_t Event(std::int32_t code) {
        if (code == 1) shutDown_ = true;
        const MessageBoxCloser boxes;
        return reinterpret_cast<EventFn>(slots_[2])(window_.Get(), code);
    }
    std::int32_t Hook(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
        HookRecord record{window_.Get(), message, wParam, lParam, 0};
        const std::int32_t answer = reinterpret_cast<HookFn>(slots_[1])(&record);
        if (result != nullptr) *result = record.result;
        return answer;
    }
    // The interface as another plugin obtains it: through the hook.
    const VellumLibraryInterface* Interface() {
        LRESULT result = 0;
        EXPECT_EQ(Hook(RegisterWindowMessageW(VELLUMDB_MSG_GETINTERFACE_W), 0, 0, &result), 1);
        return reinterpret_cast<const VellumLibraryInterface*>(result);
    }
    // One message through the hook; how many times the listener heard it.
    int Heard() {
        g_heard = 0;
        Hook(kTestMessage, 0, 0);
        return g_heard;
    }
    std::wstring Database() const { return folder_.Path() + L"\\vellumdb.db"; }

    HostFolder folder_;
    win32::UniqueModule bass_;
    win32::UniqueModule module_;
    const std::uintptr_t* slots_ = nullptr;
    win32::UniqueWindow window_;
    bool shutDown_ = false;
};

// The answer is the table inside the descriptor (slots 3 to 15), before
// enable, while enabled and after shut-down alike.
TEST_F(MessageHook, AnInterfaceRequestAnswersOneAndTheSameTableEveryTime) {
    const auto* inDescriptor = reinterpret_cast<const VellumLibraryInterface*>(slots_ + 3);
    Event(6);
    EXPECT_EQ(Interface(), inDescriptor);
    EXPECT_EQ(Interface(), inDescriptor);
    Event(0);
    EXPECT_EQ(Interface(), inDescriptor);
    Event(1);
    EXPECT_EQ(Interface(), inDescriptor);
}

// The version request answers the header's number from initialisation on,
// while enabled and after shut-down, as the interface request does.
TEST_F(MessageHook, AVersionRequestAnswersTheHeadersVersionNumber) {
    const UINT request = RegisterWindowMessageW(VELLUMDB_MSG_GETVERSION_W);
    for (std::int32_t code : {6, 0, 1}) {
        Event(code);
        LRESULT result = -1;
        EXPECT_EQ(Hook(request, 0, 0, &result), 1) << code;
        EXPECT_EQ(result, VELLUMDB_VERSION_NUMBER) << code;
    }
}

// Listeners hear the host window only between enable (0) and shut-down (1).
TEST_F(MessageHook, NoListenerRunsBeforeEnableOrAfterShutDown) {
    Event(6);
    const VellumLibraryInterface* table = Interface();
    ASSERT_NE(table, nullptr);
    table->AddListener(reinterpret_cast<VellumListener>(&CountingListener));
    EXPECT_EQ(Heard(), 0);
    EXPECT_EQ(Event(0), 1);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(Event(1), 1);
    EXPECT_EQ(Heard(), 0);
    table->RemoveListener(reinterpret_cast<VellumListener>(&CountingListener));
}

// Events 3, 4, 5 and 7 answer 1 and change nothing: not the enabled state
// (before or after enable), the connection, its path, the change tick or a row.
TEST_F(MessageHook, EventsThatAreNotThePluginsChangeNothing) {
    Event(6);
    const VellumLibraryInterface* table = Interface();
    table->AddListener(reinterpret_cast<VellumListener>(&CountingListener));
    const auto handle = table->GetDatabaseHandle();
    const std::string path = table->GetDatabasePath();
    const std::uint32_t tick = table->GetLastChangeTick();
    ASSERT_NE(handle, nullptr);
    Sleep(20);
    for (std::int32_t code : {3, 4, 5, 7}) EXPECT_EQ(Event(code), 1) << code;
    EXPECT_EQ(Heard(), 0);  // not enabled by any of them
    Event(0);
    for (std::int32_t code : {3, 4, 5, 7}) EXPECT_EQ(Event(code), 1) << code;
    EXPECT_EQ(Heard(), 1);  // nor disabled
    EXPECT_EQ(table->GetDatabaseHandle(), handle);
    EXPECT_EQ(table->GetDatabasePath(), path);
    EXPECT_EQ(table->GetLastChangeTick(), tick);
    EXPECT_EQ(QueryValue(Database(), "SELECT count(*) FROM list"), "0");
    table->RemoveListener(reinterpret_cast<VellumListener>(&CountingListener));
}

// A play start probes the channel last announced with 1112/503. Announced as
// 0, there is none: the track is probed from its file, whose length is its own
// rather than the host's 99 s.
TEST_F(MessageHook, APlayingChannelAnnouncedAsZeroIsStoredAsZero) {
    WriteWav(folder_.Path() + L"\\a.wav", 5);
    WriteWav(folder_.Path() + L"\\b.wav", 4);
    auto create = reinterpret_cast<StreamCreateFileFn>(
        reinterpret_cast<void*>(GetProcAddress(bass_.Get(), "BASS_StreamCreateFile")));
    ASSERT_NE(create, nullptr);
    Event(6);
    Event(0);
    const std::wstring a = folder_.Path() + L"\\a.wav", b = folder_.Path() + L"\\b.wav";
    const DWORD channel = create(FALSE, a.c_str(), 0, 0, 0x80000000u | 0x200000u);  // UTF-16 path, decode
    ASSERT_NE(channel, 0u);
    EXPECT_EQ(Hook(1112, 503, static_cast<LPARAM>(channel)), 0);
    g_playingPath = a;
    Event(2);
    EXPECT_EQ(Hook(1112, 503, 0), 0);
    g_playingPath = b;
    Event(2);
    const std::string folder = WideToUtf8(folder_.Path());
    EXPECT_EQ(QueryValue(Database(), "SELECT statDuration FROM list WHERE file_name = '" + folder + "\\a.wav'"), "99");
    EXPECT_EQ(QueryValue(Database(), "SELECT statDuration FROM list WHERE file_name = '" + folder + "\\b.wav'"), "4");
}

// The playing path is read whole: 519 units are registered, a longer one is
// refused rather than cut into the name of another track, and the start is
// announced either way.
TEST_F(MessageHook, APlayingPathOver519UnitsIsRefusedNotCut) {
    Event(6);
    Event(0);
    const std::wstring prefix = L"http://radio.example/";
    const std::uint32_t before = Interface()->GetLastChangeTick();
    Sleep(30);
    g_playingPath = prefix + std::wstring(600, L'x');
    Event(2);
    EXPECT_EQ(QueryValue(Database(), "SELECT count(*) FROM list"), "0");
    EXPECT_NE(Interface()->GetLastChangeTick(), before);
    g_playingPath = prefix + std::wstring(519 - prefix.size(), L'y');
    Event(2);
    EXPECT_EQ(QueryValue(Database(), "SELECT length(file_name) FROM list"), "519");
}

// An entry that fills its whole buffer, unterminated, is passed over whole:
// its first 519 units (a stream URL of its own) are not added in its place,
// and the batch goes on with the next entry.
TEST_F(MessageHook, ASelectedPathFillingItsWholeBufferIsPassedOverNotCut) {
    const std::wstring prefix = L"http://radio.example/";
    const HostPlaylist playlist(window_.Get(),
                                {prefix + L"a", prefix + std::wstring(520 - prefix.size(), L'x'), prefix + L"b"});
    g_playlistView = playlist.View();
    g_playlistTabs = playlist.Tabs();
    Event(6);
    Event(0);
    EXPECT_EQ(Hook(WM_COMMAND, 61600, 0), 1);
    EXPECT_EQ(QueryValue(Database(), "SELECT group_concat(file_name, ' ') FROM list"),
              "http://radio.example/a http://radio.example/b");
}

}  // namespace
}  // namespace vellum::wine
