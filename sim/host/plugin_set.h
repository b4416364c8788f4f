// The plugins the host loaded from its Plugins folder, in name order, with the two
// entry points the host calls: the message hook and the event procedure.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host_log.h"
#include "platform/unique_handle_win32.h"

namespace host {

// What the host hands each hook for every message of its main window.
struct HostMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};
static_assert(sizeof(HostMessage) == 20 && offsetof(HostMessage, message) == 4 && offsetof(HostMessage, wParam) == 8 &&
                  offsetof(HostMessage, lParam) == 12 && offsetof(HostMessage, result) == 16,
              "five 32-bit fields");

using GetPluginInfoFn = const uint32_t*(__stdcall*)();
using MessageHookFn = int32_t(__stdcall*)(HostMessage* message);
using EventProcFn = int32_t(__stdcall*)(HWND host, int32_t code);
using LastChangeFn = uint32_t(__stdcall*)();

// Event codes the host sends.
constexpr int32_t kEventEnable = 0;
constexpr int32_t kEventShutDown = 1;
constexpr int32_t kEventPlayStarted = 2;
constexpr int32_t kEventInitialise = 6;

constexpr size_t kDescriptorSlots = 16;
constexpr size_t kSlotHook = 1;
constexpr size_t kSlotEvent = 2;
constexpr size_t kSlotLastChange = 5;
// The descriptor as the host reads it: sixteen 32-bit words (64 bytes), the
// hook at offset 4, the event procedure at 8, and from 12 on the plugin's own
// words, where vellumdb keeps its table with GetLastChangeTick third (20).
static_assert(sizeof(void*) == sizeof(uint32_t), "a descriptor word holds one address");
static_assert(kDescriptorSlots * sizeof(uint32_t) == 64 && kSlotHook * sizeof(uint32_t) == 4 &&
                  kSlotEvent * sizeof(uint32_t) == 8 && kSlotLastChange * sizeof(uint32_t) == 20,
              "the descriptor's slots sit where the host reads them");

struct LoadedPlugin {
    std::wstring fileName;
    win32::UniqueModule module;
    const uint32_t* descriptor = nullptr;
    bool sameDescriptor = false;  // two GetGPluginInfo calls gave one address
    MessageHookFn hook = nullptr;
    EventProcFn event = nullptr;
};

struct EventResult {
    const LoadedPlugin* plugin;
    int32_t result;
};

class PluginSet {
public:
    // Loads folder\*.qpl in name order; failures are logged as errors.
    void LoadFolder(const std::wstring& folder, HostLog& log);
    // Hands the message to the hooks in load order; true when one of them answered it,
    // with its result in *result.
    bool Hook(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) const;
    std::vector<EventResult> SendEvent(HWND window, int32_t code) const;
    const std::vector<LoadedPlugin>& Plugins() const { return plugins_; }
    // Frees the modules, last loaded first.
    void UnloadAll();

private:
    bool LoadOne(const std::wstring& folder, const std::wstring& name, HostLog& log);
    std::vector<LoadedPlugin> plugins_;
};

}  // namespace host
