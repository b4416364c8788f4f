/* The public header compiles as strict C99 on its own, with no header first. */
#include "vellumdb.h"

#include <stddef.h>

/* A compile-time check that C99 accepts: a negative array size fails the build. */
#define PIN(name, condition) typedef char vellumdb_pin_##name[(condition) ? 1 : -1]

/* One pointer per slot; SYSTEMTIME's eight 16-bit fields; pointer-sized
** listener parameters outside Windows. */
PIN(interface_slots, sizeof(VellumLibraryInterface) == 13 * sizeof(void*));
PIN(time_field_slot, offsetof(VellumLibraryInterface, GetTimeField) == 12 * sizeof(void*));
PIN(system_time_size, sizeof(VellumSystemTime) == 16);
PIN(system_time_day, offsetof(VellumSystemTime, wDay) == 6);
PIN(system_time_ms, offsetof(VellumSystemTime, wMilliseconds) == 14);
PIN(wparam_width, sizeof(VellumWParam) == sizeof(void*) && (VellumWParam)-1 > 0);
PIN(lparam_width, sizeof(VellumLParam) == sizeof(void*) && (VellumLParam)-1 < 0);

/* Uses every type so that a broken declaration fails the build. */
size_t vellumdb_header_c99_probe(const VellumLibraryInterface* table, VellumListener listener,
                                 VellumSystemTime* time);
size_t vellumdb_header_c99_probe(const VellumLibraryInterface* table, VellumListener listener,
                                 VellumSystemTime* time)
{
    (void)listener;
    (void)time;
    return sizeof *table + VELLUMDB_TAG_DISCNUMBER + VELLUMDB_NUMBER_MODIFY + VELLUMDB_STRING_CODEC;
}
