// Removing a row and reading one, as the plugin's work sees them: both go
// through the connection, so a removal that cannot land at once waits in its
// store, and a read shows waiting work as done (library/connection.h).
#pragma once

#include <string>

#include "library/connection.h"
#include "library/track_record.h"

namespace vellum {

// Removes the row whose file_name is `utf8Key` byte for byte, now or once
// another program's lock frees; never waits. A key that does not fit a path
// buffer (a NUL, over 519 units: library/track_path.h) removes nothing.
LibraryConnection::Outcome RemoveTrack(LibraryConnection& connection, std::string utf8Key);
// The row of `utf8Key` as it will be once the plugin's waiting work has
// landed, as a new record owned by the caller; null when there is no such
// row, the key is null, or the row could not be read whole within the
// connection's busy timeout.
TrackRecord* ReadTrackRow(LibraryConnection& connection, const char* utf8Key);

}  // namespace vellum
