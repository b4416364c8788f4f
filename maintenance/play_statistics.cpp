#include "maintenance/play_statistics.h"

#include <ctime>

#include "library/track_path.h"
#include "library/work_entry.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace vellum {

std::int64_t SystemTimeToSeconds(const VellumSystemTime& time) noexcept {
    std::tm local{};
    local.tm_sec = time.wSecond;
    local.tm_min = time.wMinute;
    local.tm_hour = time.wHour;
    local.tm_mday = time.wDay;
    local.tm_mon = time.wMonth - 1;
    local.tm_year = time.wYear - 1900;
    local.tm_wday = time.wDayOfWeek;
    local.tm_yday = 0;
    local.tm_isdst = -1;
    return platform::SecondsOfLocalTime(local);
}

bool CreditCompletedPlay(LibraryConnection& connection, std::u16string_view path, std::int32_t lastplayed) {
    // A NUL would end the key early and credit another row.
    if (!IsUsableTrackPath(path)) return false;
    const LibraryConnection::Outcome outcome =
        connection.Submit(MakePlayCredit(platform::Utf16ToUtf8(path), lastplayed));
    return outcome == LibraryConnection::Outcome::Written || outcome == LibraryConnection::Outcome::Waiting;
}

}  // namespace vellum
