// The plugin frame's Win32 entry points, shared by the module's files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "vellumdb.h"

namespace vellum {

// The record the host hands the message hook, one per main-window message.
struct HostMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

typedef std::int32_t(__stdcall* MessageHookFn)(HostMessage* message);
typedef std::int32_t(__stdcall* EventProcFn)(HWND host, std::int32_t event);

// Sixteen 32-bit slots; slots 3 to 15 are the library interface, in place.
struct PluginDescriptor {
    std::uintptr_t reserved;
    MessageHookFn hook;
    EventProcFn eventProc;
    VellumLibraryInterface library;
};

PluginDescriptor& Descriptor();

std::int32_t __stdcall PluginMessageHook(HostMessage* message);
std::int32_t __stdcall PluginEventProc(HWND host, std::int32_t event);

}  // namespace vellum
