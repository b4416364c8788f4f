// The host's playlists in the memory layout that plugins read: a record per playlist
// whose first-entry pointer starts a singly linked chain of fixed-size entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

constexpr size_t kEntryPathChars = 520;  // terminator included

struct PlaylistEntry {
    wchar_t path[kEntryPathChars];
    uint8_t reserved[1244 - sizeof(wchar_t) * kEntryPathChars];
    PlaylistEntry* next;
};
static_assert(offsetof(PlaylistEntry, next) == 1244, "entry layout");
static_assert(sizeof(PlaylistEntry) == 1248, "entry layout");

struct PlaylistRecord {
    uint8_t reserved[1044];
    PlaylistEntry* first;
};
static_assert(offsetof(PlaylistRecord, first) == 1044, "playlist layout");
static_assert(sizeof(PlaylistRecord) == 1048, "playlist layout");

class Playlist {
public:
    explicit Playlist(std::wstring name);

    const std::wstring& Name() const { return name_; }
    PlaylistRecord* Record() { return record_.get(); }
    size_t Size() const { return entries_.size(); }
    // The stored path of a row (at most 519 characters), or null past the end.
    const wchar_t* PathAt(size_t row) const;
    // Appends an entry to the chain; the path is cut to 519 characters.
    void Append(std::wstring_view path);
    void Reserve(size_t rows) { entries_.reserve(rows); }

private:
    std::wstring name_;
    std::unique_ptr<PlaylistRecord> record_;
    std::vector<std::unique_ptr<PlaylistEntry>> entries_;
};

}  // namespace host
