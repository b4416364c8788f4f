// The paths a batch works on, and the walk that collects the playlist's
// selected entries into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// An ordered list of track paths, each at most 519 UTF-16 units and without a
// NUL. Filled on the host's window thread before a batch starts; read by index
// while it runs.
class BatchPathList {
public:
    // Appends the path and returns true, or refuses one that does not fit a
    // path buffer (library/track_path.h) and returns false. Never cuts it.
    bool Append(std::u16string_view path);
    // The same for a path the caller hands over: its storage is kept, not copied.
    bool AppendOwned(std::u16string&& path);
    // Makes room for `count` more paths.
    void Reserve(std::size_t count) { paths_.reserve(paths_.size() + count); }
    void Clear() noexcept;
    std::size_t Size() const noexcept { return paths_.size(); }
    bool Empty() const noexcept { return paths_.empty(); }
    const std::u16string& At(std::size_t index) const { return paths_.at(index); }

private:
    std::vector<std::u16string> paths_;
};

// The one process-wide list the menu commands fill.
BatchPathList& BatchPaths();

// Read access to the host's playlist: a singly linked chain of entries, each
// named by an opaque address (0 = none).
class PlaylistChain {
public:
    virtual ~PlaylistChain() = default;
    // The first entry of the playlist, or 0 when there is no playlist or no entry.
    virtual std::uintptr_t First() = 0;
    // The entry after `entry`, or 0 at the end of the chain.
    virtual std::uintptr_t Next(std::uintptr_t entry) = 0;
    // The entry's path: its text up to the terminator. One that fills the
    // whole 520-unit buffer, unterminated, comes back as all 520 units.
    virtual std::u16string Path(std::uintptr_t entry) = 0;
};

// Appends to `out` the path of every row in `rows` (row n is the entry reached
// from the first by n steps) in one walk of the chain. Rows must ascend; a row
// that does not (a repeat or a step back) ends the collection, as does the end
// of the chain. A path the list refuses is passed over and the collection goes
// on with the next row. Returns the number of paths appended.
std::size_t CollectChainPaths(PlaylistChain& chain, const std::vector<int>& rows, BatchPathList& out);

}  // namespace vellum
