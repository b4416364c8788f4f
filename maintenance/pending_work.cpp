#include "maintenance/pending_work.h"

#include <string_view>
#include <utility>

#include "library/track_path.h"
#include "library/work_entry.h"

namespace vellum {

LibraryConnection::Outcome RemoveTrack(LibraryConnection& connection, std::string utf8Key) {
    if (!FitsPathBuffer(std::string_view(utf8Key))) return LibraryConnection::Outcome::Refused;
    return connection.Submit(MakeRemoval(std::move(utf8Key)));
}

TrackRecord* ReadTrackRow(LibraryConnection& connection, const char* utf8Key) {
    if (utf8Key == nullptr) return nullptr;
    RecordOwner row;
    if (!connection.ReadRow(utf8Key, row)) return nullptr;
    return row.Release();
}

}  // namespace vellum
