// The plugin frame's Win32 entry points, shared by the module's files.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "vellumdb.h"
#include "vellumdb_host.h"

namespace vellum {

// The plugin's own descriptor: the host's sixteen slots (vellumdb_host.h),
// with the library interface in place in slots 3 to 15.
struct PluginDescriptor {
    std::uintptr_t reserved;
    HostMessageHookFn hook;
    HostEventProcFn eventProc;
    VellumLibraryInterface library;
};

// The host is a 32-bit program: it reads these records at fixed offsets.
static_assert(sizeof(void*) == 4, "the module is built for 32-bit Windows");
static_assert(sizeof(HostMessage) == 20 && offsetof(HostMessage, message) == 4 && offsetof(HostMessage, wParam) == 8 &&
                  offsetof(HostMessage, lParam) == 12 && offsetof(HostMessage, result) == 16,
              "the host's message record is five 32-bit fields");
static_assert(sizeof(PluginDescriptor) == 64 && offsetof(PluginDescriptor, hook) == 4 &&
                  offsetof(PluginDescriptor, eventProc) == 8 && offsetof(PluginDescriptor, library) == 12,
              "the descriptor is sixteen 32-bit slots, the interface from slot 3 on");
static_assert(sizeof(PluginDescriptor) == sizeof(HostPluginDescriptor) &&
                  offsetof(PluginDescriptor, hook) == offsetof(HostPluginDescriptor, hook) &&
                  offsetof(PluginDescriptor, eventProc) == offsetof(HostPluginDescriptor, eventProc) &&
                  offsetof(PluginDescriptor, library) == offsetof(HostPluginDescriptor, slots),
              "the descriptor is the host's, the interface in the plugin's own slots");
static_assert(sizeof(VellumLibraryInterface) == 52 && offsetof(VellumLibraryInterface, GetTimeField) == 48,
              "the interface is thirteen 32-bit slots");
static_assert(sizeof(VellumSystemTime) == 16 && offsetof(VellumSystemTime, wMonth) == 2 &&
                  offsetof(VellumSystemTime, wDayOfWeek) == 4 && offsetof(VellumSystemTime, wDay) == 6 &&
                  offsetof(VellumSystemTime, wHour) == 8 && offsetof(VellumSystemTime, wMinute) == 10 &&
                  offsetof(VellumSystemTime, wSecond) == 12 && offsetof(VellumSystemTime, wMilliseconds) == 14,
              "VellumSystemTime is SYSTEMTIME's eight 16-bit fields");
static_assert(std::is_same<VellumWindow, HWND>::value && std::is_same<VellumWParam, WPARAM>::value &&
                  std::is_same<VellumLParam, LPARAM>::value && std::is_same<VellumLResult, LRESULT>::value,
              "listeners have the Win32 window procedure's types");

PluginDescriptor& Descriptor();

std::int32_t __stdcall PluginMessageHook(HostMessage* message);
std::int32_t __stdcall PluginEventProc(HWND host, std::int32_t event);

// Announces a change the plugin made itself (a play start, a counted play, a
// menu command): moves the last-change tick, then sends VELLUMDB_MSG_NOTIFY
// with wParam 1 to the host window, whose hook hands it to every listener.
void AnnounceChange(HWND host);

}  // namespace vellum
