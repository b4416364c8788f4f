// Collecting the paths of the rows selected in the host's playlist.
#pragma once

#include <windows.h>

#include <cstddef>

#include "maintenance/batch_path_list.h"

namespace vellum {

// Empties `out`, then appends the path of every selected row of the playlist
// shown, in ascending row order, each cut to 519 units. The host's entry chain
// is walked once for the whole selection. No list view, no current tab, no
// playlist record or a chain shorter than the selection: collects what can be
// reached and stops. Returns the number of paths collected.
std::size_t CollectSelectedPaths(HWND host, BatchPathList& out);

}  // namespace vellum
