#include "playlist.h"

#include <algorithm>

namespace host {

Playlist::Playlist(std::wstring name) : name_(std::move(name)), record_(std::make_unique<PlaylistRecord>()) {}

const wchar_t* Playlist::PathAt(size_t row) const { return row < entries_.size() ? entries_[row]->path : nullptr; }

void Playlist::Append(std::wstring_view path) {
    auto entry = std::make_unique<PlaylistEntry>();  // value-initialised: all zero
    size_t length = std::min(path.size(), kEntryPathChars - 1);
    std::copy_n(path.data(), length, entry->path);
    if (entries_.empty()) {
        record_->first = entry.get();
    } else {
        entries_.back()->next = entry.get();
    }
    entries_.push_back(std::move(entry));
}

}  // namespace host
