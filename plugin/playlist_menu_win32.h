// The plugin's submenu in the host's playlist context menu.
#pragma once

#include <windows.h>

namespace vellum {

// Called for every popup menu about to open (WM_INITMENUPOPUP). When `menu` is
// the host's playlist menu (its last item has id 40121), puts the "vellumdb"
// submenu into it with four of the host's items after it (at the top of a
// menu with fewer than four items), once however often the menu is shown, and
// enables add and remove only while rows are selected. Other menus, the
// plugin's own submenu included, are left as they are.
void PreparePlaylistMenu(HWND host, HMENU menu);

}  // namespace vellum
