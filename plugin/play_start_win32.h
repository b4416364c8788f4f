#pragma once

#include <windows.h>

namespace vellum {

// Play start (event 2), on the host's window thread: fetches the playing path,
// sets the end-of-track sync, registers the track in its own transaction and
// announces the change.
void HandlePlayStarted(HWND host);

}  // namespace vellum
