// The hook on the host main window's messages: the listener fan-out, the
// playing channel notification and the interface requests of other plugins.
#include <windows.h>

#include "plugin/host_win32.h"
#include "plugin/library_database.h"
#include "plugin/plugin_win32.h"

namespace vellum {
namespace {

std::int32_t Dispatch(HostMessage& message) {
    LibraryDatabase& library = Library();
    if (message.message == host::kPlayerMessage) {
        if (message.wParam == host::kChannelStarting)
            library.currentChannel = static_cast<std::uint32_t>(message.lParam);
        return 0;
    }
    if (library.interfaceMessage != 0 && message.message == library.interfaceMessage) {
        message.result = reinterpret_cast<LRESULT>(&Descriptor().library);
        return 1;
    }
    return 0;
}

}  // namespace

std::int32_t __stdcall PluginMessageHook(HostMessage* message) {
    if (message == nullptr) return 0;
    try {
        LibraryDatabase& library = Library();
        if (library.enabled)
            library.listeners.FanOut(message->window, message->message, message->wParam, message->lParam);
        return Dispatch(*message);
    } catch (...) {
        return 0;
    }
}

}  // namespace vellum
