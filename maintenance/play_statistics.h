// Play statistics: the portable half of counting plays that reach their end.
#pragma once

#include <cstdint>
#include <string_view>

#include "library/connection.h"
#include "vellumdb.h"

namespace vellum {

// Local wall-clock time to seconds since 1970-01-01 00:00:00 UTC, a 64-bit
// count on every platform (a time after 2038 is stored in its low 32 bits and
// read back as unsigned). mktime decides whether daylight saving was in force,
// so the result is the true instant in summer too. Milliseconds are dropped.
std::int64_t SystemTimeToSeconds(const VellumSystemTime& time) noexcept;

// The end-of-play update of one track: reads its row, adds 1 to playcount
// (held at INT32_MAX), sets lastplayed to the time the play ended and writes
// the row back, as one unit on the plugin's writer, in a transaction of its
// own. While the library cannot be written the credit waits in the
// connection's store, keeping its time, and lands later, once. Never waits.
// True when a row was credited or the credit waits; false when no row exists,
// the write failed, or the path is empty, longer than 519 units or holds a NUL.
bool CreditCompletedPlay(LibraryConnection& connection, std::u16string_view path, std::int32_t lastplayed);

}  // namespace vellum
