/*
** The public headers as a Windows plugin's author uses them: a listener, hook
** and event procedure written the natural Win32 way need no cast, and the
** records the host and vellumdb share have the layout the host relies on,
** checked here from the outside in bytes and against SYSTEMTIME.
** Compiled as C99 and as C++ (public_header_win32.cpp), with every warning an
** error, for the 32-bit target and, as a syntax check, for 64-bit Windows;
** either include order of <windows.h> and the headers must work.
*/
#ifdef VELLUMDB_TEST_WINDOWS_FIRST
#include <windows.h>
#include "vellumdb.h"
#include "vellumdb_host.h"
#else
#include "vellumdb_host.h"
#include "vellumdb.h"
#include <windows.h>
#endif

#include <stddef.h>

/* A compile-time check that C99 accepts: a negative array size fails the build. */
#define PIN(name, condition) typedef char outside_pin_##name[(condition) ? 1 : -1]

/* The header's types are Win32's own, on 32-bit and on 64-bit Windows. */
PIN(window_is_hwnd, sizeof(VellumWindow) == sizeof(HWND));
PIN(wparam_width, sizeof(VellumWParam) == sizeof(WPARAM) && (VellumWParam)-1 > 0);
PIN(lparam_width, sizeof(VellumLParam) == sizeof(LPARAM) && (VellumLParam)-1 < 0);
PIN(lresult_width, sizeof(VellumLResult) == sizeof(LRESULT));

/* The headers pin their records in pointer-sized slots; here, once, the bytes
** the 32-bit host reads. */
#ifndef _WIN64
PIN(host_message_size, sizeof(HostMessage) == 20);
PIN(host_message_message, offsetof(HostMessage, message) == 4);
PIN(host_message_wparam, offsetof(HostMessage, wParam) == 8);
PIN(host_message_lparam, offsetof(HostMessage, lParam) == 12);
PIN(host_message_result, offsetof(HostMessage, result) == 16);
PIN(interface_size, sizeof(VellumLibraryInterface) == 52);
PIN(time_field_offset, offsetof(VellumLibraryInterface, GetTimeField) == 48);
PIN(descriptor_size, sizeof(HostPluginDescriptor) == 64);
PIN(descriptor_hook_offset, offsetof(HostPluginDescriptor, hook) == 4);
PIN(descriptor_event_offset, offsetof(HostPluginDescriptor, eventProc) == 8);
PIN(own_slots_offset, offsetof(HostPluginDescriptor, slots) == 12);
PIN(own_slots_size, sizeof(((HostPluginDescriptor*)0)->slots) == 52);
#endif

/* Layout-identical to SYSTEMTIME, field by field. */
#define TIME_FIELD(field) (offsetof(VellumSystemTime, field) == offsetof(SYSTEMTIME, field))
PIN(system_time_size, sizeof(VellumSystemTime) == sizeof(SYSTEMTIME));
PIN(system_time_year, TIME_FIELD(wYear));
PIN(system_time_month, TIME_FIELD(wMonth));
PIN(system_time_weekday, TIME_FIELD(wDayOfWeek));
PIN(system_time_day, TIME_FIELD(wDay));
PIN(system_time_hour, TIME_FIELD(wHour));
PIN(system_time_minute, TIME_FIELD(wMinute));
PIN(system_time_second, TIME_FIELD(wSecond));
PIN(system_time_ms, TIME_FIELD(wMilliseconds));

static LRESULT CALLBACK CountingListener(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)window;
    (void)wParam;
    (void)lParam;
    return message == WM_NULL ? 1 : 0;
}

static const VellumListener kListener = CountingListener;

/* A hook and an event procedure with Win32's types fill the descriptor as they are. */
static int32_t __stdcall AnsweringHook(HostMessage* message) {
    HWND window = message->window;
    message->result = (LRESULT)(window != (HWND)0);
    return 1;
}

static int32_t __stdcall EventProc(HWND host, int32_t event) {
    return host != (HWND)0 && event == HOST_EVENT_INITIALISE;
}

static const HostPluginDescriptor kDescriptor = {0, AnsweringHook, EventProc, {0}};

int vellumdb_header_win32_probe(const VellumLibraryInterface* lib, SYSTEMTIME* time);
int vellumdb_header_win32_probe(const VellumLibraryInterface* lib, SYSTEMTIME* time) {
    VellumListener listener = kListener;
    /* The very type of a window procedure: it converts both ways without a cast. */
    WNDPROC procedure = listener;
    LRESULT heard = procedure((HWND)0, WM_NULL, (WPARAM)0, (LPARAM)0);
    listener = procedure;
    HostMessage message = {(HWND)0, WM_NULL, (WPARAM)0, (LPARAM)0, (LRESULT)0};
    lib->AddListener(CountingListener);
    lib->RemoveListener(listener);
    heard += kDescriptor.hook(&message) + kDescriptor.eventProc(message.window, HOST_EVENT_ENABLE);
    /* A SYSTEMTIME is filled through the header's layout-identical record. */
    return (int)heard + lib->GetTimeField(0, VELLUMDB_TIME_LASTPLAYED, (VellumSystemTime*)(void*)time);
}
