// Captures a window, children included, into a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

namespace host {

// False when the window cannot be drawn or the file cannot be written.
bool CaptureWindowToBmp(HWND window, const std::wstring& path, SIZE* size);

}  // namespace host
