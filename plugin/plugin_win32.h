// The plugin frame's Win32 entry points, shared by the module's files.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

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

// The host is a 32-bit program. The host's records are pinned in
// vellumdb_host.h, the table and its types in vellumdb.h; this one is the
// host's descriptor with the table in place of the plugin's own slots.
static_assert(sizeof(void*) == 4, "the module is built for 32-bit Windows");
static_assert(sizeof(PluginDescriptor) == sizeof(HostPluginDescriptor) &&
                  offsetof(PluginDescriptor, hook) == offsetof(HostPluginDescriptor, hook) &&
                  offsetof(PluginDescriptor, eventProc) == offsetof(HostPluginDescriptor, eventProc) &&
                  offsetof(PluginDescriptor, library) == offsetof(HostPluginDescriptor, slots),
              "the descriptor is the host's, the interface in the plugin's own slots");

PluginDescriptor& Descriptor();

std::int32_t __stdcall PluginMessageHook(HostMessage* message);
std::int32_t __stdcall PluginEventProc(HWND host, std::int32_t event);

// Announces a change the plugin made itself (a play start, a counted play, a
// menu command): moves the last-change tick, then sends VELLUMDB_MSG_NOTIFY
// with wParam 1 to the host window, whose hook hands it to every listener.
void AnnounceChange(HWND host);

}  // namespace vellum
