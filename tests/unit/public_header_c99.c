/* The public headers compile as strict C99 on their own: vellumdb.h with no
** header first (the Windows check includes vellumdb_host.h first). */
#include "vellumdb.h"
#include "vellumdb_host.h"

#include <stddef.h>

/* A compile-time check that C99 accepts: a negative array size fails the build. */
#define PIN(name, condition) typedef char vellumdb_pin_##name[(condition) ? 1 : -1]

/* The host's 32-bit layout in pointer-sized slots (4 bytes there, 8 here):
** the table thirteen slots, the descriptor sixteen with the table from slot 3,
** the host message five fields; pointer-sized listener parameters. */
PIN(interface_slots, sizeof(VellumLibraryInterface) == 13 * sizeof(void*));
PIN(time_field_slot, offsetof(VellumLibraryInterface, GetTimeField) == 12 * sizeof(void*));
PIN(descriptor_slots, sizeof(HostPluginDescriptor) == 16 * sizeof(void*));
PIN(descriptor_hook, offsetof(HostPluginDescriptor, hook) == sizeof(void*));
PIN(descriptor_event_proc, offsetof(HostPluginDescriptor, eventProc) == 2 * sizeof(void*));
PIN(descriptor_own_slots, offsetof(HostPluginDescriptor, slots) == 3 * sizeof(void*));
PIN(interface_fills_own_slots, sizeof(VellumLibraryInterface) == sizeof(((HostPluginDescriptor*)0)->slots));
PIN(host_message_fields, sizeof(HostMessage) == 5 * sizeof(void*));
PIN(host_message_wparam, offsetof(HostMessage, wParam) == 2 * sizeof(void*));
PIN(host_message_result, offsetof(HostMessage, result) == 4 * sizeof(void*));
PIN(wparam_width, sizeof(VellumWParam) == sizeof(void*) && (VellumWParam)-1 > 0);
PIN(lparam_width, sizeof(VellumLParam) == sizeof(void*) && (VellumLParam)-1 < 0);

/* SYSTEMTIME's eight 16-bit fields, on every platform. */
PIN(system_time_size, sizeof(VellumSystemTime) == 16);
PIN(system_time_year, offsetof(VellumSystemTime, wYear) == 0);
PIN(system_time_month, offsetof(VellumSystemTime, wMonth) == 2);
PIN(system_time_weekday, offsetof(VellumSystemTime, wDayOfWeek) == 4);
PIN(system_time_day, offsetof(VellumSystemTime, wDay) == 6);
PIN(system_time_hour, offsetof(VellumSystemTime, wHour) == 8);
PIN(system_time_minute, offsetof(VellumSystemTime, wMinute) == 10);
PIN(system_time_second, offsetof(VellumSystemTime, wSecond) == 12);
PIN(system_time_ms, offsetof(VellumSystemTime, wMilliseconds) == 14);

/* Uses every type so that a broken declaration fails the build. */
size_t vellumdb_header_c99_probe(const VellumLibraryInterface* table, VellumListener listener, VellumSystemTime* time,
                                 const HostPluginDescriptor* descriptor);
size_t vellumdb_header_c99_probe(const VellumLibraryInterface* table, VellumListener listener, VellumSystemTime* time,
                                 const HostPluginDescriptor* descriptor) {
    HostMessage message = {0, 0, 0, 0, 0};
    (void)listener;
    (void)time;
    return sizeof *table + VELLUMDB_TAG_DISCNUMBER + VELLUMDB_NUMBER_MODIFY + VELLUMDB_STRING_CODEC +
           (size_t)descriptor->hook(&message) + (size_t)descriptor->eventProc(message.window, HOST_EVENT_INITIALISE);
}
