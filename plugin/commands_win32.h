// The three commands of the plugin's context submenu. Each takes the host
// window, owner of the progress dialog, and returns when its dialog has closed
// (at once when there is nothing to do). One batch runs at a time: a command
// that arrives while a dialog is open (from within its modal loop) returns at
// once and leaves the running batch alone.
#pragma once

#include <windows.h>

namespace vellum {

// Adds the tracks selected in the playlist to the library (menu id 61600).
void AddSelectedToLibrary(HWND host);
// Removes the rows of the tracks selected in the playlist (menu id 61601).
void RemoveSelectedFromLibrary(HWND host);
// Removes every row whose file, or cue sheet, no longer exists (menu id 61602).
void PurgeBrokenLinks(HWND host);

}  // namespace vellum
