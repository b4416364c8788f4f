// Message numbers of the host's main window.
#pragma once

#include <windows.h>

namespace host {

// Queries plugins send; the wParam picks the question.
constexpr UINT kQueryMessage = 1026;
constexpr WPARAM kQueryPlayingLength = 106;  // lParam 0: whole seconds of the item playing
constexpr WPARAM kQueryPlaylistView = 107;   // lParam -1: the playlist list view
constexpr WPARAM kQueryPlaylistTabs = 108;   // lParam 108: the playlist tab control
constexpr LPARAM kPlaylistTabsCheck = 108;

constexpr UINT kPlayerMessage = 1112;
constexpr WPARAM kPlayerCueInterface = 108;     // lParam 0: the cue interface record, or 0
constexpr WPARAM kPlayerFillPath = 204;         // lParam: a window to receive the playing path
constexpr WPARAM kPlayerChannelStarting = 503;  // sent by the host: lParam = the new channel

// The robot's call into the window thread: lParam is a std::function<void()>*.
constexpr UINT kInvokeMessage = WM_APP + 0x3A0;
// Posted by the dialog watcher when its dialog has closed.
constexpr UINT kDialogWatchDone = WM_APP + 0x3A1;

// Menu bar commands.
constexpr UINT kCommandExit = 40001;
constexpr UINT kCommandNewPlaylist = 40002;
constexpr UINT kCommandPlaySelected = 40003;
constexpr UINT kCommandStop = 40004;

}  // namespace host
