// The playlist context menu: a popup whose last item is command 40121. Plugins add
// their own submenus to it while it opens; the host never destroys those.
#pragma once

#include <windows.h>

#include <string>

#include "host_log.h"
#include "platform/unique_handle_win32.h"

namespace host {

constexpr UINT kPlaylistMenuLastCommand = 40121;
constexpr int kDefaultPlaylistMenuItems = 10;

// count >= 1 items, ids ending with 40121.
win32::UniqueMenu BuildPlaylistMenu(int count);
// Logs each item as "menu POS ...", submenus as "menu POS.SUB ...".
void LogMenu(HostLog& log, HMENU menu, const std::string& prefix = "");
// Detaches every submenu (the host's popup has none of its own) and destroys the popup.
void DestroyPlaylistMenu(win32::UniqueMenu menu);

}  // namespace host
