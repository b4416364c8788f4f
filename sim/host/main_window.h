// The host's main window: menu bar, playlist tabs and list view. Its window procedure
// first hands every message to the plugins' hooks; a message a hook answers goes no
// further. Then the host answers the plugins' queries and does its own work.
#pragma once

#include <windows.h>

#include "playlist_view.h"

namespace host {

class HostApp;

class MainWindow {
public:
    explicit MainWindow(HostApp& app) : app_(app) {}
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    bool Create(HINSTANCE instance, int show);
    HWND Handle() const { return window_; }
    PlaylistView& Playlists() { return playlists_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleHostMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool HandleQuery(WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool HandlePlayerQuery(WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool HandleCommand(UINT id);
    void HandleContextMenu(HWND source, LPARAM where);
    void OnListActivate(const NMHDR& header);

    HostApp& app_;
    HWND window_ = nullptr;
    PlaylistView playlists_;
};

}  // namespace host
