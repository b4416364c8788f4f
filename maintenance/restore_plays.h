// Bringing a backup's play history back into the library: each backup row is
// matched to the library's row of the same path (or of the path mapped from
// an old folder to a new one). A matched row keeps the larger play count, the
// later time of last play, and its own rating, or the backup's where it has
// none. Backup rows without a match are reported, and added whole only when
// asked.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "maintenance/folder_match.h"
#include "maintenance/relink.h"

namespace vellum {

struct RestoreRequest {
    // Backup paths below `first` are looked up below `second` instead.
    std::optional<std::pair<FolderPrefix, FolderPrefix>> mapping;
    bool addMissing = false;
    bool apply = false;
};

struct RestoreReport {
    LibraryWork outcome = LibraryWork::Done;
    // Matched rows whose history changes, and those already up to date.
    std::size_t updated = 0;
    std::size_t unchanged = 0;
    // Backup rows with no row in the library (their names as looked up);
    // added to the library when asked.
    std::vector<std::string> unmatched;
    std::size_t added = 0;

    bool WorkFound() const { return updated > 0 || added > 0; }
};

// Reads `backup` and, with `request.apply`, writes `library` in one write
// transaction taken with the library connection's busy timeout (Busy when it
// cannot be had or committed: nothing is written then).
RestoreReport RestorePlays(sqlite3* library, sqlite3* backup, const RestoreRequest& request,
                           const WorkProgress& progress);

}  // namespace vellum
