// The standard broken-down time as the SYSTEMTIME-compatible record.
#pragma once

#include <cstdint>
#include <ctime>

#include "vellumdb.h"

namespace vellum::platform {

inline VellumSystemTime SystemTimeFromTm(const std::tm& local, std::uint16_t milliseconds) noexcept {
    VellumSystemTime time{};
    time.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
    time.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
    time.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
    time.wDay = static_cast<std::uint16_t>(local.tm_mday);
    time.wHour = static_cast<std::uint16_t>(local.tm_hour);
    time.wMinute = static_cast<std::uint16_t>(local.tm_min);
    time.wSecond = static_cast<std::uint16_t>(local.tm_sec);
    time.wMilliseconds = milliseconds;
    return time;
}

}  // namespace vellum::platform
