// The SQL of rows of `list`. Every value is embedded in the statement text as a
// single-quoted literal through QuoteSqlText. None of these opens a
// transaction: the caller's connection runs them inside its own.
#pragma once

#include <string>
#include <string_view>

#include "library/track_record.h"

struct sqlite3;

namespace vellum {

// The one quoting rule for values embedded in SQL text: every single quote is
// doubled, every other byte passes unchanged. Null gives empty text.
std::string QuoteSqlText(const char* utf8);

// The complete statement texts, exposed for tests of their exact form.
std::string BuildInsertStatement(const TrackRecord& record);
std::string BuildUpdateStatement(const TrackRecord& record);
std::string BuildDeleteStatement(const char* utf8Key);

// The row whose file_name equals `utf8Key` byte for byte, read on `database`:
// SQLITE_ROW with a new record in `row` (every text field non-null),
// SQLITE_DONE for no row, or the code of the failure (SQLITE_BUSY: a lock,
// SQLITE_NOMEM: no memory for the record). A null key reads as empty.
int LookupTrackRow(sqlite3* database, const char* utf8Key, RecordOwner& row);

}  // namespace vellum
