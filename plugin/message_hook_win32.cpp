// The hook on the host main window's messages: the listener fan-out, the
// context submenu and its commands, the playing channel notification, the
// interface and version requests of other plugins; and the announcement of
// the plugin's own changes, which reach the listeners through this hook.
#include <windows.h>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "platform/seam.h"
#include "plugin/commands_win32.h"
#include "plugin/host_win32.h"
#include "plugin/playlist_menu_win32.h"
#include "plugin/plugin_win32.h"
#include "plugin/shell_state_win32.h"

namespace vellum {
namespace {

enum Command : WORD { kAddSelected = 61600, kRemoveSelected = 61601, kPurgeBrokenLinks = 61602 };

// Runs a submenu command, then announces the change whatever it did. False
// for ids that are not the plugin's.
bool RunCommand(HWND window, WORD id) {
    switch (id) {
        case kAddSelected: AddSelectedToLibrary(window); break;
        case kRemoveSelected: RemoveSelectedFromLibrary(window); break;
        case kPurgeBrokenLinks: PurgeBrokenLinks(window); break;
        default: return false;
    }
    AnnounceChange(window);
    return true;
}

std::int32_t Dispatch(HostMessage& message) {
    PluginState& state = State();
    switch (message.message) {
        case WM_COMMAND: return RunCommand(message.window, LOWORD(message.wParam)) ? 1 : 0;
        case WM_INITMENUPOPUP: PreparePlaylistMenu(message.window, reinterpret_cast<HMENU>(message.wParam)); return 0;
        case host::kPlayerMessage:
            if (message.wParam == host::kChannelStarting)
                state.currentChannel = static_cast<std::uint32_t>(message.lParam);
            return 0;
        default: break;
    }
    const ShellState& shell = Shell();
    if (shell.interfaceMessage != 0 && message.message == shell.interfaceMessage) {
        message.result = reinterpret_cast<LRESULT>(&Descriptor().library);
        return 1;
    }
    if (shell.versionMessage != 0 && message.message == shell.versionMessage) {
        message.result = VELLUMDB_VERSION_NUMBER;
        return 1;
    }
    return 0;
}

}  // namespace

void AnnounceChange(HWND host) {
    State().lastChangeTick = platform::TickCount();
    SendMessageW(host, Shell().notifyMessage, 1, 0);
}

std::int32_t __stdcall PluginMessageHook(HostMessage* message) {
    if (message == nullptr) return 0;
    try {
        if (State().enabled) NotifyListeners(message->window, message->message, message->wParam, message->lParam);
        return Dispatch(*message);
    } catch (...) {
        return 0;
    }
}

}  // namespace vellum
