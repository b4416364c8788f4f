#include "playlist_view.h"

#include <commctrl.h>

#include "track_source.h"

namespace host {
namespace {

constexpr int kTabsId = 100;
constexpr int kListId = 101;

void AddColumn(HWND list, int index, const wchar_t* title, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = width;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

std::wstring ExpandPattern(std::wstring_view pattern, size_t index) {
    std::wstring text(pattern);
    std::wstring number = std::to_wstring(index);
    for (size_t at = text.find(L"{i}"); at != std::wstring::npos; at = text.find(L"{i}", at)) {
        text.replace(at, 3, number);
        at += number.size();
    }
    return text;
}

}  // namespace

bool PlaylistView::Create(HWND parent, const std::wstring& firstName) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    tabs_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 100, 100, parent,
                            reinterpret_cast<HMENU>(kTabsId), instance, nullptr);
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 100, 100,
                            parent, reinterpret_cast<HMENU>(kListId), instance, nullptr);
    if (tabs_ == nullptr || list_ == nullptr) return false;
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    AddColumn(list_, 0, L"Title", 220);
    AddColumn(list_, 1, L"Path", 480);
    SetWindowPos(list_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    NewPlaylist(firstName);
    return true;
}

void PlaylistView::Layout(const RECT& client) {
    MoveWindow(tabs_, client.left, client.top, client.right - client.left, client.bottom - client.top, TRUE);
    RECT area = client;
    SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    MoveWindow(list_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void PlaylistView::NewPlaylist(const std::wstring& name) {
    playlists_.push_back(std::make_unique<Playlist>(name));
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<wchar_t*>(playlists_.back()->Name().c_str());
    item.lParam = reinterpret_cast<LPARAM>(playlists_.back()->Record());
    int index = static_cast<int>(playlists_.size() - 1);
    SendMessageW(tabs_, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
    SelectPlaylist(playlists_.size() - 1);
}

bool PlaylistView::SelectPlaylist(size_t index) {
    if (index >= playlists_.size()) return false;
    SendMessageW(tabs_, TCM_SETCURSEL, index, 0);  // sends no TCN_SELCHANGE
    current_ = index;
    ShowCurrent();
    return true;
}

void PlaylistView::ShowCurrent() {
    SelectAll(false);
    SendMessageW(list_, LVM_SETITEMCOUNT, Current().Size(), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, TRUE);
}

void PlaylistView::Add(std::wstring_view path) {
    Current().Append(path);
    SendMessageW(list_, LVM_SETITEMCOUNT, Current().Size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void PlaylistView::AddMany(size_t count, std::wstring_view pattern) {
    Playlist& playlist = Current();
    playlist.Reserve(playlist.Size() + count);
    for (size_t i = 0; i < count; ++i) playlist.Append(ExpandPattern(pattern, i));
    SendMessageW(list_, LVM_SETITEMCOUNT, playlist.Size(), LVSICF_NOSCROLL);
}

void PlaylistView::SetRowState(int row, bool selected) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

template <typename Change>
void PlaylistView::Batch(Change change) {
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    change();
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

bool PlaylistView::SelectRows(const std::vector<size_t>& rows) {
    for (size_t row : rows) {
        if (row >= Current().Size()) return false;
    }
    Batch([&] {
        SetRowState(-1, false);
        for (size_t row : rows) SetRowState(static_cast<int>(row), true);
    });
    return true;
}

void PlaylistView::SelectAll(bool selected) {
    Batch([&] { SetRowState(-1, selected); });
}

bool PlaylistView::SelectRange(size_t first, size_t last) {
    if (first > last || last >= Current().Size()) return false;
    Batch([&] {
        SetRowState(-1, false);
        for (size_t row = first; row <= last; ++row) SetRowState(static_cast<int>(row), true);
    });
    return true;
}

size_t PlaylistView::SelectedCount() const {
    return static_cast<size_t>(SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0));
}

int PlaylistView::FirstSelected() const {
    return static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
}

void PlaylistView::FillDisplayInfo(NMLVDISPINFOW& info) {
    if (!(info.item.mask & LVIF_TEXT) || info.item.pszText == nullptr) return;
    const wchar_t* path = Current().PathAt(static_cast<size_t>(info.item.iItem));
    if (path == nullptr) return;
    std::wstring text = info.item.iSubItem == 0 ? TrackTitle(path) : std::wstring(path);
    lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
}

bool PlaylistView::OnNotify(const NMHDR& header, LRESULT* result) {
    *result = 0;
    if (header.hwndFrom == list_ && header.code == LVN_GETDISPINFOW) {
        FillDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
        return true;
    }
    if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
        int index = static_cast<int>(SendMessageW(tabs_, TCM_GETCURSEL, 0, 0));
        if (index >= 0) SelectPlaylist(static_cast<size_t>(index));
        return true;
    }
    return false;
}

}  // namespace host
