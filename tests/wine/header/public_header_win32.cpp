// The same checks as C++, with <windows.h> included first.
#define VELLUMDB_TEST_WINDOWS_FIRST
#include "public_header_win32.c"
