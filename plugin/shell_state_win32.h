// ShellState: what only the Win32 shell keeps for the process: the module's
// handle, the menu resource the submenu is copied from and the window message
// ids registered with the system. Set on the host's window thread at load and
// initialise; the end-of-play callback reads the notify id on another thread
// after that.
#pragma once

#include <windows.h>

namespace vellum {

struct ShellState {
    HMODULE module = nullptr;
    // Owned by the module's entry file; null outside initialise..shut-down.
    HMENU menu = nullptr;
    UINT interfaceMessage = 0;
    UINT versionMessage = 0;
    UINT notifyMessage = 0;
};

// The one instance.
ShellState& Shell();

}  // namespace vellum
