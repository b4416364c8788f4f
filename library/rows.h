// Writing, reading and removing rows of `list`. Every value is embedded in the
// statement text as a single-quoted literal through QuoteSqlText. None of these
// opens a transaction; each runs under the connection's lock.
#pragma once

#include <string>
#include <string_view>

#include "library/connection.h"
#include "library/track_record.h"

namespace vellum {

// The one quoting rule for values embedded in SQL text: every single quote is
// doubled, every other byte passes unchanged. Null gives empty text.
std::string QuoteSqlText(const char* utf8);

// The complete statement texts, exposed for tests of their exact form.
std::string BuildInsertStatement(const TrackRecord& record);
std::string BuildUpdateStatement(const TrackRecord& record);
std::string BuildDeleteStatement(const char* utf8Key);

// Adds the record as a new row. A path that already has a row is left as it is.
void InsertTrackRow(LibraryConnection& connection, const TrackRecord& record);
// Rewrites the 24 non-key columns of the row whose file_name equals the
// record's. False only when SQLite reports SQLITE_ERROR.
bool UpdateTrackRow(LibraryConnection& connection, const TrackRecord& record);
// A new record for the row whose file_name equals `utf8Key` byte for byte, or
// null. Every text field of the result is non-null. Null key reads as empty.
TrackRecord* FindTrackRow(LibraryConnection& connection, const char* utf8Key);
// The same, with SQLite's result: SQLITE_ROW with the row in `row`,
// SQLITE_DONE for no row, or the code of the failure (SQLITE_BUSY: a lock).
int LookupTrackRow(LibraryConnection& connection, const char* utf8Key, RecordOwner& row);
// Removes the row whose file_name is the UTF-8 form of the wide path. A path
// that does not fit a path buffer (library/track_path.h) removes nothing.
void DeleteTrackRow(LibraryConnection& connection, std::u16string_view widePath);

}  // namespace vellum
