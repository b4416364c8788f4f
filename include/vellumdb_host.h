/*
** vellumdb_host.h: the host player's plugin records, as every plugin of the
** host declares them: vellumdb itself, and plugins that use vellumdb.h.
**
** THE PLUGIN'S SIDE
**   A plugin is a 32-bit Windows DLL that exports
**       void* __stdcall GetGPluginInfo(void)
**   returning the address of its HostPluginDescriptor, which must stay valid
**   while the module is loaded. The host calls the descriptor's hook for every
**   message of its main window, in load order, until a hook answers it, and
**   the event procedure for each lifecycle event (HOST_EVENT_*). Other event
**   codes come too; a plugin answers them with 1 and does nothing.
**
** LAYOUT
**   The host reads these records at fixed offsets: HostMessage is five 32-bit
**   fields (20 bytes), the descriptor sixteen 32-bit slots (64 bytes) with the
**   hook in slot 1 (offset 4) and the event procedure in slot 2 (offset 8).
**   Slots 3 to 15 (from offset 12) are the plugin's own and the host never
**   reads them: vellumdb keeps its VellumLibraryInterface there, other plugins
**   leave them 0. Every field and slot is one pointer wide, which the checks
**   at the end of this header count, so a build that moves any of it fails to
**   compile.
**
** This header compiles as C99 and as C++, and needs no other header first.
*/
#ifndef VELLUMDB_HOST_H
#define VELLUMDB_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "vellumdb.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One message of the host's main window. A hook that answers it stores its
** answer in result and returns non-zero; the host then stops there. The
** types are Win32's own (see vellumdb.h): HWND, UINT, WPARAM, LPARAM, LRESULT. */
typedef struct HostMessage {
    VellumWindow window;
    unsigned int message;
    VellumWParam wParam;
    VellumLParam lParam;
    VellumLResult result;
} HostMessage;

/* Slot 1: sees every message of the host's main window. */
typedef int32_t(__stdcall* HostMessageHookFn)(HostMessage* message);

/* Slot 2: one lifecycle event for the host's main window; returns 1. */
typedef int32_t(__stdcall* HostEventProcFn)(VellumWindow host, int32_t event);

/* The lifecycle events: initialise once after load, enable when the plugin
** is switched on, play started for each track that starts playing, shut down
** before the module is freed. */
enum { HOST_EVENT_ENABLE = 0, HOST_EVENT_SHUT_DOWN = 1, HOST_EVENT_PLAY_STARTED = 2, HOST_EVENT_INITIALISE = 6 };

/* What GetGPluginInfo returns. Slot 0 is 0. */
typedef struct HostPluginDescriptor {
    uintptr_t reserved;
    HostMessageHookFn hook;
    HostEventProcFn eventProc;
    uintptr_t slots[13]; /* slots 3 to 15, the plugin's own */
} HostPluginDescriptor;

#ifdef __cplusplus
}
#endif

/* Compile-time checks of the layout in pointer-sized slots (4 bytes on the
** host's 32-bit Windows): a negative array size fails a C99 build,
** static_assert a C++ one. */
#ifdef __cplusplus
#define VELLUMDB_HOST_PIN(name, condition) static_assert(condition, #name)
#else
#define VELLUMDB_HOST_PIN(name, condition) typedef char vellumdb_host_pin_##name[(condition) ? 1 : -1]
#endif
VELLUMDB_HOST_PIN(message_size, sizeof(HostMessage) == 5 * sizeof(void*));
VELLUMDB_HOST_PIN(message_field, offsetof(HostMessage, message) == sizeof(void*));
VELLUMDB_HOST_PIN(message_wparam, offsetof(HostMessage, wParam) == 2 * sizeof(void*));
VELLUMDB_HOST_PIN(message_lparam, offsetof(HostMessage, lParam) == 3 * sizeof(void*));
VELLUMDB_HOST_PIN(message_result, offsetof(HostMessage, result) == 4 * sizeof(void*));
VELLUMDB_HOST_PIN(descriptor_size, sizeof(HostPluginDescriptor) == 16 * sizeof(void*));
VELLUMDB_HOST_PIN(descriptor_hook, offsetof(HostPluginDescriptor, hook) == sizeof(void*));
VELLUMDB_HOST_PIN(descriptor_event_proc, offsetof(HostPluginDescriptor, eventProc) == 2 * sizeof(void*));
VELLUMDB_HOST_PIN(descriptor_own_slots, offsetof(HostPluginDescriptor, slots) == 3 * sizeof(void*));
/* vellumdb's table fills the plugin's own slots exactly. */
VELLUMDB_HOST_PIN(interface_size, sizeof(HostPluginDescriptor) - offsetof(HostPluginDescriptor, slots) ==
                                      sizeof(VellumLibraryInterface));
#undef VELLUMDB_HOST_PIN

#endif /* VELLUMDB_HOST_H */
