#include "main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <functional>

#include "host_app.h"
#include "host_messages.h"
#include "platform/unique_handle_win32.h"

namespace host {
namespace {

const wchar_t kClassName[] = L"VellumStandInHost";

// Messages arrive before CreateWindowExW returns (WM_GETMINMAXINFO even before
// WM_NCCREATE), so the one main window is known here from the start.
MainWindow* mainWindow = nullptr;

// The window owns its menu bar once it exists; until then the bar is ours to destroy.
win32::UniqueMenu BuildMenuBar() {
    win32::UniqueMenu bar(CreateMenu());
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kCommandExit, L"E&xit");
    HMENU playlist = CreatePopupMenu();
    AppendMenuW(playlist, MF_STRING, kCommandNewPlaylist, L"&New playlist");
    HMENU playback = CreatePopupMenu();
    AppendMenuW(playback, MF_STRING, kCommandPlaySelected, L"&Play selected");
    AppendMenuW(playback, MF_STRING, kCommandStop, L"&Stop");
    AppendMenuW(bar.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(playlist), L"&Playlist");
    AppendMenuW(bar.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(playback), L"P&layback");
    return bar;
}

}  // namespace

MainWindow::~MainWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    if (mainWindow == this) mainWindow = nullptr;
}

bool MainWindow::Create(HINSTANCE instance, int show) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    mainWindow = this;
    win32::UniqueMenu bar = BuildMenuBar();
    window_ = CreateWindowExW(0, kClassName, L"vellumdb stand-in host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 800, 560, nullptr, bar.Get(), instance, nullptr);
    if (window_ == nullptr) return false;
    bar.Release();
    if (!playlists_.Create(window_, L"Default")) return false;
    RECT client;
    GetClientRect(window_, &client);
    playlists_.Layout(client);
    ShowWindow(window_, show);
    UpdateWindow(window_);
    return true;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (mainWindow == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return mainWindow->Handle(window, message, wParam, lParam);
}

LRESULT MainWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (app_.Plugins().Hook(window, message, wParam, lParam, &result)) return result;
    app_.NoteRegisteredMessage(message, wParam, lParam);
    if (HandleHostMessage(message, wParam, lParam, &result)) return result;
    return DefWindowProcW(window, message, wParam, lParam);
}

bool MainWindow::HandleHostMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    switch (message) {
        case kQueryMessage: return HandleQuery(wParam, lParam, result);
        case kPlayerMessage: return HandlePlayerQuery(wParam, lParam, result);
        case kInvokeMessage: (*reinterpret_cast<std::function<void()>*>(lParam))(); return true;
        case kDialogWatchDone: app_.Dialogs().ReleaseIfDone(); return true;
        case WM_NOTIFY:
            OnListActivate(*reinterpret_cast<const NMHDR*>(lParam));
            return playlists_.OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
        case WM_CONTEXTMENU: HandleContextMenu(reinterpret_cast<HWND>(wParam), lParam); return true;
        case WM_COMMAND: return HandleCommand(LOWORD(wParam));
        case WM_SIZE: {
            RECT client;
            GetClientRect(window_, &client);
            if (playlists_.List() != nullptr) playlists_.Layout(client);
            return true;
        }
        case WM_CLOSE:
            app_.Shutdown();
            DestroyWindow(window_);
            return true;
        case WM_DESTROY: PostQuitMessage(0); return true;
        case WM_NCDESTROY: window_ = nullptr; return false;
        default: return false;
    }
}

bool MainWindow::HandleQuery(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (wParam == kQueryPlayingLength) {
        *result = app_.Playback().Current().lengthSeconds;
    } else if (wParam == kQueryPlaylistView && lParam == -1) {
        *result = reinterpret_cast<LRESULT>(playlists_.List());
    } else if (wParam == kQueryPlaylistTabs && lParam == kPlaylistTabsCheck) {
        *result = reinterpret_cast<LRESULT>(playlists_.Tabs());
    } else {
        return false;
    }
    return true;
}

bool MainWindow::HandlePlayerQuery(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (wParam == kPlayerCueInterface) {
        *result = app_.Cue().Address();
    } else if (wParam == kPlayerFillPath) {
        SetWindowTextW(reinterpret_cast<HWND>(lParam), app_.Playback().Current().path.c_str());
        *result = 1;
    } else {
        return false;
    }
    return true;
}

bool MainWindow::HandleCommand(UINT id) {
    switch (id) {
        case kCommandExit: PostMessageW(window_, WM_CLOSE, 0, 0); return true;
        case kCommandNewPlaylist:
            playlists_.NewPlaylist(L"Playlist " + std::to_wstring(playlists_.PlaylistCount() + 1));
            return true;
        case kCommandPlaySelected:
            if (playlists_.FirstSelected() >= 0) app_.PlayRow(static_cast<size_t>(playlists_.FirstSelected()));
            return true;
        case kCommandStop: app_.StopPlayback(); return true;
        default: return false;
    }
}

void MainWindow::HandleContextMenu(HWND source, LPARAM where) {
    if (source != playlists_.List()) return;
    POINT point{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    if (point.x == -1 && point.y == -1) GetCursorPos(&point);
    app_.ShowPlaylistMenu(point);
}

void MainWindow::OnListActivate(const NMHDR& header) {
    if (header.hwndFrom != playlists_.List() || header.code != NM_DBLCLK) return;
    int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
    if (row >= 0) app_.PlayRow(static_cast<size_t>(row));
}

}  // namespace host
