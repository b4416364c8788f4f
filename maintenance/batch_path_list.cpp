#include "maintenance/batch_path_list.h"

#include "library/track_path.h"

namespace vellum {

bool BatchPathList::Append(std::u16string_view path) {
    if (!FitsPathBuffer(path)) return false;
    paths_.emplace_back(path);
    return true;
}

bool BatchPathList::AppendOwned(std::u16string&& path) {
    if (!FitsPathBuffer(path)) return false;
    paths_.push_back(std::move(path));
    return true;
}

void BatchPathList::Clear() noexcept {
    // Give the memory back too: a batch of 100,000 paths should not stay resident.
    std::vector<std::u16string>().swap(paths_);
}

BatchPathList& BatchPaths() {
    static BatchPathList instance;
    return instance;
}

std::size_t CollectChainPaths(PlaylistChain& chain, const std::vector<int>& rows, BatchPathList& out) {
    std::size_t appended = 0;
    std::uintptr_t entry = rows.empty() ? 0 : chain.First();
    int position = 0;  // the row number of `entry`
    int previous = -1;
    out.Reserve(rows.size());
    for (int row : rows) {
        if (row <= previous) break;
        previous = row;
        while (entry != 0 && position < row) {
            entry = chain.Next(entry);
            ++position;
        }
        if (entry == 0) break;  // the selection reaches past the chain's end
        if (out.AppendOwned(chain.Path(entry))) ++appended;
    }
    return appended;
}

}  // namespace vellum
