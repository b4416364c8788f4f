// The playlist area of the main window: a tab control with one tab per playlist and a
// virtual report-view list view (multiple selection) showing the current playlist.
// The item data of each tab is the address of its playlist's record.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "playlist.h"

namespace host {

class PlaylistView {
public:
    // Creates both controls as children of parent, with one playlist named firstName.
    bool Create(HWND parent, const std::wstring& firstName);
    HWND Tabs() const { return tabs_; }
    HWND List() const { return list_; }
    void Layout(const RECT& client);

    size_t PlaylistCount() const { return playlists_.size(); }
    size_t CurrentIndex() const { return current_; }
    Playlist& Current() { return *playlists_[current_]; }
    void NewPlaylist(const std::wstring& name);
    bool SelectPlaylist(size_t index);

    void Add(std::wstring_view path);
    void AddMany(size_t count, std::wstring_view pattern);

    bool SelectRows(const std::vector<size_t>& rows);
    void SelectAll(bool selected);
    bool SelectRange(size_t first, size_t last);
    size_t SelectedCount() const;
    // The first selected row, or -1.
    int FirstSelected() const;

    // WM_NOTIFY from either control; true when handled.
    bool OnNotify(const NMHDR& header, LRESULT* result);

private:
    void ShowCurrent();
    // Changes many rows' states with drawing held back until the end.
    template <typename Change>
    void Batch(Change change);
    void SetRowState(int row, bool selected);
    void FillDisplayInfo(NMLVDISPINFOW& info);

    HWND tabs_ = nullptr;
    HWND list_ = nullptr;
    std::vector<std::unique_ptr<Playlist>> playlists_;
    size_t current_ = 0;
};

}  // namespace host
