#include "plugin/playlist_menu_win32.h"

#include <commctrl.h>

#include <vector>

#include "platform/unique_handle_win32.h"
#include "plugin/host_win32.h"
#include "plugin/shell_state_win32.h"

namespace vellum {
namespace {

constexpr UINT kAddCommand = 61600;
constexpr UINT kRemoveCommand = 61601;
constexpr int kHostItemsAfter = 4;
const wchar_t kCaption[] = L"vellumdb";

// The submenu shown in the host's menu: a copy of popup 0 of the plugin's menu
// resource, which itself stays untouched. Once inserted it belongs to the host's
// menu as well: a host that destroys its menu destroys this copy with it, and
// a fresh copy is made for the next opening; a host that detaches its submenus
// first, or keeps its menu, gets the same copy back.
HMENU g_submenu = nullptr;

win32::UniqueMenu CopyPopup(HMENU source);

bool CopyItem(HMENU source, int position, HMENU target) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(source, position, TRUE, &info)) return false;
    std::vector<wchar_t> text(info.cch + 1, L'\0');
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    if (!GetMenuItemInfoW(source, position, TRUE, &info)) return false;
    // The copied popup belongs to the target once it is inserted there.
    win32::UniqueMenu popup;
    if (info.hSubMenu != nullptr) {
        popup = CopyPopup(info.hSubMenu);
        info.hSubMenu = popup.Get();
    }
    if (!InsertMenuItemW(target, position, TRUE, &info)) return false;
    popup.Release();
    return true;
}

win32::UniqueMenu CopyPopup(HMENU source) {
    win32::UniqueMenu copy(CreatePopupMenu());
    if (!copy) return copy;
    const int count = GetMenuItemCount(source);
    for (int position = 0; position < count; ++position) CopyItem(source, position, copy.Get());
    return copy;
}

bool IsLive(HMENU submenu) { return submenu != nullptr && IsMenu(submenu) && GetMenuItemID(submenu, 0) == kAddCommand; }

HMENU Submenu() {
    if (IsLive(g_submenu)) return g_submenu;
    HMENU source = GetSubMenu(Shell().menu, 0);
    g_submenu = source != nullptr ? CopyPopup(source).Release() : nullptr;
    return g_submenu;
}

// Takes the submenu out of a menu that still shows it from an earlier opening.
void Detach(HMENU menu, HMENU submenu) {
    for (int position = GetMenuItemCount(menu) - 1; position >= 0; --position)
        if (GetSubMenu(menu, position) == submenu) RemoveMenu(menu, position, MF_BYPOSITION);
}

int SelectedCount(HWND host) {
    HWND list = host::PlaylistView(host);
    return list != nullptr ? static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
}

}  // namespace

void PreparePlaylistMenu(HWND host, HMENU menu) {
    const int count = GetMenuItemCount(menu);
    if (count <= 0 || GetMenuItemID(menu, count - 1) != host::kPlaylistMenuLastCommand) return;
    HMENU submenu = Submenu();
    if (submenu == nullptr) return;
    Detach(menu, submenu);
    const int hostItems = GetMenuItemCount(menu);
    const int position = hostItems >= kHostItemsAfter ? hostItems - kHostItemsAfter : 0;
    InsertMenuW(menu, position, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), kCaption);
    const UINT state = SelectedCount(host) != 0 ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(submenu, kAddCommand, MF_BYCOMMAND | state);
    EnableMenuItem(submenu, kRemoveCommand, MF_BYCOMMAND | state);
}

}  // namespace vellum
