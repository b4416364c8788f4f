/*
** The public header as a Windows plugin's author uses it: a listener written
** the natural Win32 way is a VellumListener without a cast, and the records the
** host and vellumdb share have the layout the host relies on. Compiled as C99
** and as C++ (public_header_win32.cpp), with every warning an error, for the
** 32-bit target and, as a syntax check, for 64-bit Windows; either include
** order of <windows.h> and vellumdb.h must work.
*/
#ifdef VELLUMDB_TEST_WINDOWS_FIRST
#include <windows.h>
#include "vellumdb.h"
#else
#include "vellumdb.h"
#include <windows.h>
#endif

#include <stddef.h>

/* A compile-time check that C99 accepts: a negative array size fails the build. */
#define PIN(name, condition) typedef char vellumdb_pin_##name[(condition) ? 1 : -1]

/* The records as an author declares them beside the header. */
typedef struct HostMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
} HostMessage;

typedef struct PluginDescriptor {
    UINT_PTR reserved;
    INT_PTR hook;
    INT_PTR eventProc;
    VellumLibraryInterface library;
} PluginDescriptor;

/* The header's types are Win32's own, on 32-bit and on 64-bit Windows. */
PIN(window_is_hwnd, sizeof(VellumWindow) == sizeof(HWND));
PIN(wparam_width, sizeof(VellumWParam) == sizeof(WPARAM) && (VellumWParam)-1 > 0);
PIN(lparam_width, sizeof(VellumLParam) == sizeof(LPARAM) && (VellumLParam)-1 < 0);
PIN(lresult_width, sizeof(VellumLResult) == sizeof(LRESULT));

/* Every slot is one pointer: 4 bytes on the host's 32-bit Windows. */
PIN(interface_slots, sizeof(VellumLibraryInterface) == 13 * sizeof(void*));
PIN(descriptor_slots, sizeof(PluginDescriptor) == 16 * sizeof(void*));
PIN(interface_in_descriptor, offsetof(PluginDescriptor, library) == 3 * sizeof(void*));
PIN(time_field_field, offsetof(VellumLibraryInterface, GetTimeField) == 12 * sizeof(void*));
#ifndef _WIN64
PIN(host_message_size, sizeof(HostMessage) == 20);
PIN(host_message_result, offsetof(HostMessage, result) == 16);
PIN(interface_size, sizeof(VellumLibraryInterface) == 52);
PIN(descriptor_size, sizeof(PluginDescriptor) == 64);
PIN(interface_offset, offsetof(PluginDescriptor, library) == 12);
#endif

/* Layout-identical to SYSTEMTIME, field by field. */
PIN(system_time_size, sizeof(VellumSystemTime) == sizeof(SYSTEMTIME) && sizeof(VellumSystemTime) == 16);
PIN(system_time_year, offsetof(VellumSystemTime, wYear) == offsetof(SYSTEMTIME, wYear));
PIN(system_time_month, offsetof(VellumSystemTime, wMonth) == offsetof(SYSTEMTIME, wMonth));
PIN(system_time_weekday, offsetof(VellumSystemTime, wDayOfWeek) == offsetof(SYSTEMTIME, wDayOfWeek));
PIN(system_time_day, offsetof(VellumSystemTime, wDay) == offsetof(SYSTEMTIME, wDay));
PIN(system_time_hour, offsetof(VellumSystemTime, wHour) == offsetof(SYSTEMTIME, wHour));
PIN(system_time_minute, offsetof(VellumSystemTime, wMinute) == offsetof(SYSTEMTIME, wMinute));
PIN(system_time_second, offsetof(VellumSystemTime, wSecond) == offsetof(SYSTEMTIME, wSecond));
PIN(system_time_ms, offsetof(VellumSystemTime, wMilliseconds) == offsetof(SYSTEMTIME, wMilliseconds) &&
                        offsetof(VellumSystemTime, wMilliseconds) == 14);

static LRESULT CALLBACK CountingListener(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)window; (void)wParam; (void)lParam;
    return message == WM_NULL ? 1 : 0;
}

static const VellumListener kListener = CountingListener;

int vellumdb_header_win32_probe(const VellumLibraryInterface* lib, SYSTEMTIME* time);
int vellumdb_header_win32_probe(const VellumLibraryInterface* lib, SYSTEMTIME* time)
{
    VellumListener listener = kListener;
    /* The very type of a window procedure: it converts both ways without a cast. */
    WNDPROC procedure = listener;
    LRESULT heard = procedure((HWND)0, WM_NULL, (WPARAM)0, (LPARAM)0);
    listener = procedure;
    lib->AddListener(CountingListener);
    lib->RemoveListener(listener);
    /* A SYSTEMTIME is filled through the header's layout-identical record. */
    return (int)heard + lib->GetTimeField(0, VELLUMDB_TIME_LASTPLAYED, (VellumSystemTime*)(void*)time);
}
