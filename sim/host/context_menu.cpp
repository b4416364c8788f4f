#include "context_menu.h"

#include "text.h"

namespace host {
namespace {

const wchar_t* const kLastItemNames[kDefaultPlaylistMenuItems] = {
    L"Play",      L"Queue",       L"Remove", L"Crop",        L"Sort",
    L"Copy path", L"Open folder", L"Rename", L"Move to top", L"Properties",
};

std::wstring ItemName(int position, int count) {
    int fromEnd = count - 1 - position;
    if (fromEnd < kDefaultPlaylistMenuItems) return kLastItemNames[kDefaultPlaylistMenuItems - 1 - fromEnd];
    return L"Item " + std::to_wstring(position + 1);
}

std::wstring ItemText(HMENU menu, int position) {
    wchar_t text[512] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = text;
    info.cch = ARRAYSIZE(text);
    GetMenuItemInfoW(menu, position, TRUE, &info);
    return text;
}

void LogItem(HostLog& log, HMENU menu, int position, const std::string& label) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info)) {
        log.Error("cannot read menu item " + label);
        return;
    }
    std::string line = "menu " + label;
    if (info.fType & MFT_SEPARATOR) {
        log.Line(line + " separator");
        return;
    }
    std::string text = Utf8FromWide(ItemText(menu, position));
    if (info.hSubMenu != nullptr) {
        log.Line(line + " popup text=" + text);
        LogMenu(log, info.hSubMenu, label + ".");
        return;
    }
    const char* state = (info.fState & MFS_GRAYED) ? "grayed" : "enabled";
    log.Line(line + " id=" + std::to_string(info.wID) + " text=" + text + " state=" + state);
}

}  // namespace

win32::UniqueMenu BuildPlaylistMenu(int count) {
    win32::UniqueMenu menu(CreatePopupMenu());
    for (int position = 0; position < count; ++position) {
        UINT id = kPlaylistMenuLastCommand - static_cast<UINT>(count - 1 - position);
        AppendMenuW(menu.Get(), MF_STRING, id, ItemName(position, count).c_str());
    }
    return menu;
}

void LogMenu(HostLog& log, HMENU menu, const std::string& prefix) {
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        LogItem(log, menu, position, prefix + std::to_string(position));
    }
}

void DestroyPlaylistMenu(win32::UniqueMenu menu) {
    for (int position = GetMenuItemCount(menu.Get()) - 1; position >= 0; --position) {
        if (GetSubMenu(menu.Get(), position) != nullptr) {
            RemoveMenu(menu.Get(), position, MF_BYPOSITION);
        }
    }
}

}  // namespace host
