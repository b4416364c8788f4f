/* The public header compiles as strict C99 on its own, with no header first. */
#include "vellumdb.h"

#include <stddef.h>

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
