/* The public headers compile as strict C99 on their own: vellumdb.h with no
** header first (the Windows check includes vellumdb_host.h first). */
#include "vellumdb.h"
#include "vellumdb_host.h"

/* Including them makes the layout checks at their ends, here for a 64-bit
** POSIX build: pointer-sized slots of 8 bytes. */
#include <stddef.h>

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
