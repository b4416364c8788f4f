#include "host_app.h"

#include <commctrl.h>

#include "context_menu.h"
#include "host_messages.h"
#include "robot.h"
#include "text.h"

namespace host {

HostApp::HostApp(HostLog& log, HostOptions options, std::wstring folder)
    : log_(log),
      options_(std::move(options)),
      folder_(std::move(folder)),
      boxes_(log),
      cue_(audio_, log),
      player_(audio_),
      dialogs_(log),
      window_(*this),
      menuItems_(kDefaultPlaylistMenuItems) {}

bool HostApp::Start(HINSTANCE instance, int show) {
    // Watching from the start: a plugin may show a message box while it initialises.
    if (!boxes_.Start()) log_.Error("cannot start the message box watcher");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    audio_.Load(folder_);
    cue_.Configure(!options_.cueInterfaceNull, options_.cueVersion, options_.cueWideText);
    plugins_.LoadFolder(folder_ + L"\\Plugins", log_);
    if (!window_.Create(instance, show)) {
        log_.Error("cannot create the main window");
        return false;
    }
    dialogs_.SetOwner(window_.Handle());
    InitialisePlugins();
    return true;
}

void HostApp::InitialisePlugins() {
    initTickBefore_ = GetTickCount();
    std::vector<EventResult> results = plugins_.SendEvent(Window(), kEventInitialise);
    initTickAfter_ = GetTickCount();
    LogEventResults(kEventInitialise, results);
    if (options_.enablePlugins) SendEventLogged(kEventEnable);
}

int HostApp::Run() {
    win32::UniqueKernelHandle robotThread;
    Robot robot(*this, options_.scriptPath);
    if (!options_.scriptPath.empty()) robotThread = robot.Start();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (robotThread) ServeUntilDone(robotThread.Get());
    plugins_.UnloadAll();
    return log_.HadError() ? 1 : 0;
}

// The window is gone; the robot may still be sending to it. Keep answering sent
// messages (each fails at once now) until its thread ends.
void HostApp::ServeUntilDone(HANDLE thread) {
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

bool HostApp::InvokeOnWindowThread(const std::function<void()>& work) {
    bool ran = false;
    std::function<void()> call = [&] {
        work();
        ran = true;
    };
    HWND window = Window();
    if (window == nullptr || !IsWindow(window)) return false;
    SendMessageW(window, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&call));
    if (!ran) log_.Error("a plugin hook consumed the robot's call into the window thread");
    return ran;
}

void HostApp::LogEventResults(int32_t code, const std::vector<EventResult>& results) {
    for (const EventResult& result : results) {
        log_.Line("event " + std::to_string(code) + " = " + std::to_string(result.result));
    }
}

void HostApp::SendEventLogged(int32_t code) { LogEventResults(code, plugins_.SendEvent(Window(), code)); }

bool HostApp::PlayRow(size_t row, double urlSeconds, bool crossfade) {
    const wchar_t* path = Playlists().Current().PathAt(row);
    if (path == nullptr) {
        log_.Error("no row " + std::to_string(row) + " in the current playlist");
        return false;
    }
    std::string error;
    if (!player_.Start(path, urlSeconds, crossfade, error)) {
        log_.Error(error);
        return false;
    }
    const NowPlaying& now = player_.Current();
    log_.Line("play " + std::to_string(row) + " channel=" + std::to_string(now.channel) +
              " path=" + Utf8FromWide(now.path) + " length=" + std::to_string(now.lengthSeconds));
    SendMessageW(Window(), kPlayerMessage, kPlayerChannelStarting, static_cast<LPARAM>(now.channel));
    SendEventLogged(kEventPlayStarted);
    return true;
}

void HostApp::StopPlayback() {
    std::string error;
    if (player_.Playing() && !player_.Stop(error)) log_.Error(error);
}

void HostApp::ShowPlaylistMenu(POINT where) {
    // TrackPopupMenu itself sends WM_INITMENUPOPUP to the owner, hooks included.
    win32::UniqueMenu menu = BuildPlaylistMenu(menuItems_);
    TrackPopupMenu(menu.Get(), TPM_RIGHTBUTTON, where.x, where.y, 0, Window(), nullptr);
    DestroyPlaylistMenu(std::move(menu));
}

void HostApp::LogPlaylistMenu() {
    win32::UniqueMenu menu = BuildPlaylistMenu(menuItems_);
    SendMessageW(Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu.Get()), MAKELPARAM(0, FALSE));
    LogMenu(log_, menu.Get());
    DestroyPlaylistMenu(std::move(menu));
}

void HostApp::WatchRegistered(const std::string& name) {
    watched_[RegisterWindowMessageW(WideFromUtf8(name).c_str())] = name;
}

void HostApp::NoteRegisteredMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message < 0xC000) return;
    auto found = watched_.find(message);
    if (found == watched_.end()) return;
    log_.Line("received " + found->second + " wParam=" + std::to_string(wParam) + " lParam=" + std::to_string(lParam));
}

void HostApp::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    SendEventLogged(kEventShutDown);
    log_.Line("exit");
}

}  // namespace host
