#include "plugin/collect_selection_win32.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/host_win32.h"
#include "probe/probe_context.h"

namespace vellum {
namespace {

static_assert(sizeof(void*) == 4, "the host's records hold 32-bit pointers");

std::uintptr_t ReadPointer(std::uintptr_t address) {
    std::uint32_t value = 0;
    std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
    return value;
}

// The host's playlist record, read in place: entries are linked through the
// pointer at byte 1244 and start with their wide path.
class HostPlaylistChain : public PlaylistChain {
public:
    explicit HostPlaylistChain(std::uintptr_t record) : record_(record) {}

    std::uintptr_t First() override { return record_ == 0 ? 0 : ReadPointer(record_ + host::kPlaylistFirstEntry); }
    std::uintptr_t Next(std::uintptr_t entry) override { return ReadPointer(entry + host::kEntryNext); }
    std::u16string Path(std::uintptr_t entry) override {
        // The entry's buffer holds 520 units; never read past it, even
        // unterminated. A path that fills it is taken whole, so that the batch
        // list refuses it rather than a cut copy naming another track.
        const char16_t* text = reinterpret_cast<const char16_t*>(entry);
        std::size_t length = 0;
        while (length < kPathBufferUnits && text[length] != u'\0') ++length;
        return std::u16string(text, length);
    }

private:
    std::uintptr_t record_;
};

// The selected rows, ascending. An answer that does not move forward ends the
// list, so a misbehaving control cannot keep the loop going.
std::vector<int> SelectedRows(HWND list) {
    std::vector<int> rows;
    if (list == nullptr) return rows;
    for (int row = -1;;) {
        const int next = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED));
        if (next <= row) break;
        rows.push_back(next);
        row = next;
    }
    return rows;
}

// The record of the playlist whose tab is current, or 0.
std::uintptr_t CurrentPlaylistRecord(HWND host) {
    HWND tabs = host::PlaylistTabs(host);
    if (tabs == nullptr) return 0;
    const int tab = static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    if (tab < 0) return 0;
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    if (!SendMessageW(tabs, TCM_GETITEMW, tab, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<std::uintptr_t>(item.lParam);
}

}  // namespace

std::size_t CollectSelectedPaths(HWND host, BatchPathList& out) {
    out.Clear();
    const std::vector<int> rows = SelectedRows(host::PlaylistView(host));
    if (rows.empty()) return 0;
    HostPlaylistChain chain(CurrentPlaylistRecord(host));
    return CollectChainPaths(chain, rows, out);
}

}  // namespace vellum
