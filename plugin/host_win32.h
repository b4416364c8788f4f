// The host player's query messages, as the plugin sends them to the host's
// main window. The host is closed; these are the answers the plugin relies on.
#pragma once

#include <windows.h>

namespace vellum::host {

constexpr UINT kQueryMessage = 1026;   // wParam 106, 107, 108
constexpr UINT kPlayerMessage = 1112;  // wParam 108, 204; notification 503

constexpr WPARAM kCueInterface = 108;     // 1112: address of the cue interface, or 0
constexpr WPARAM kFillPathWindow = 204;   // 1112: sets lParam window's text to the playing path
constexpr WPARAM kChannelStarting = 503;  // 1112 from the host: lParam = the channel now starting
constexpr WPARAM kPlayingLength = 106;    // 1026: whole seconds of the item now playing
constexpr WPARAM kPlaylistView = 107;     // 1026, lParam -1: the playlist list view
constexpr WPARAM kPlaylistTabs = 108;     // 1026, lParam 108: the playlist tab control

// The command id of the last item of the host's playlist context menu.
constexpr UINT kPlaylistMenuLastCommand = 40121;

// Byte offsets in the host's playlist records (32-bit pointers).
constexpr size_t kPlaylistFirstEntry = 1044;
constexpr size_t kEntryNext = 1244;

inline const void* QueryCueInterface(HWND host) {
    return reinterpret_cast<const void*>(SendMessageW(host, kPlayerMessage, kCueInterface, 0));
}
inline void FillPathWindow(HWND host, HWND pathWindow) {
    SendMessageW(host, kPlayerMessage, kFillPathWindow, reinterpret_cast<LPARAM>(pathWindow));
}
inline int PlayingLengthSeconds(HWND host) {
    return static_cast<int>(SendMessageW(host, kQueryMessage, kPlayingLength, 0));
}
inline HWND PlaylistView(HWND host) {
    return reinterpret_cast<HWND>(SendMessageW(host, kQueryMessage, kPlaylistView, -1));
}
inline HWND PlaylistTabs(HWND host) {
    return reinterpret_cast<HWND>(SendMessageW(host, kQueryMessage, kPlaylistTabs, 108));
}

}  // namespace vellum::host
