// Moving the library's rows along with a moved music folder: every row below
// the old folder (cue-sheet tracks by their sheet) takes the same path below
// the new one. Where the new path already has a row, the two become one: the
// play counts added, the later time of last play, the new row's rating where
// it has one and the old row's otherwise; the new row keeps its other columns.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <vector>

#include "maintenance/folder_match.h"
#include "maintenance/work_progress.h"

namespace vellum {

struct RelinkChange {
    std::string from;  // UTF-8 stored names
    std::string to;
    bool merge = false;
};

struct RelinkReport {
    LibraryWork outcome = LibraryWork::Done;
    std::vector<RelinkChange> changes;
    std::size_t merged = 0;
};

// Works out the changes and, with `apply`, makes them in one write
// transaction, taken with the connection's busy timeout; a transaction that
// cannot be had or committed changes nothing (Busy). Rows are taken in key
// order; rows whose names are not well-formed UTF-8 are left alone. A row
// that maps onto its own name is no change.
RelinkReport Relink(sqlite3* database, const FolderPrefix& from, const FolderPrefix& to, bool apply,
                    const WorkProgress& progress);

}  // namespace vellum
