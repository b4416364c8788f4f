// The LibraryInterface: the thirteen functions other plugins call (namespace
// vellum::api), working on the process-wide State() (api/plugin_state.h).
// Every function uses the standard calling convention of the public header
// and lets no exception escape.
#pragma once

#include <cstdint>

#include "vellumdb.h"

namespace vellum::api {

sqlite3* __stdcall GetDatabaseHandle();
const char* __stdcall GetDatabasePath();
std::uint32_t __stdcall GetLastChangeTick();
std::int32_t __stdcall AddListener(VellumListener listener);
std::int32_t __stdcall RemoveListener(VellumListener listener);
std::int32_t __stdcall AddFile(const char* utf8Path);
std::int32_t __stdcall RemoveFile(const char* utf8Path);
VellumTrackRecord* __stdcall GetRecord(const char* utf8Path);
void __stdcall FreeRecord(VellumTrackRecord* record);
const char* __stdcall GetStringField(const VellumTrackRecord* record, std::int32_t index);
std::int32_t __stdcall GetNumberField(const VellumTrackRecord* record, std::int32_t index);
const char* __stdcall GetTagField(const VellumTrackRecord* record, std::int32_t index);
std::int32_t __stdcall GetTimeField(const VellumTrackRecord* record, std::int32_t selector, VellumSystemTime* out);

}  // namespace vellum::api

namespace vellum {

// The table in slot order, as the descriptor's slots 3 to 15 hold it.
extern const VellumLibraryInterface kLibraryInterface;
// Writes the thirteen pointers into `table` in slot order.
void FillLibraryInterface(VellumLibraryInterface& table) noexcept;

// Hands one message of the host window to every listener (the hook calls this
// while the plugin is enabled).
void NotifyListeners(VellumWindow window, unsigned message, VellumWParam wParam, VellumLParam lParam) noexcept;

// A stored time value (seconds since 1970 UTC, read as unsigned 32-bit) as
// local wall-clock time, milliseconds 0. False when it cannot be broken down.
bool SecondsToSystemTime(std::uint32_t seconds, VellumSystemTime& out) noexcept;

}  // namespace vellum
