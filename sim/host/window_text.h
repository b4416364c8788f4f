// Reading window texts and class names for the log.
#pragma once

#include <windows.h>

#include <string>

namespace host {

std::wstring WindowTextOf(HWND window);
std::wstring ClassNameOf(HWND window);
// UTF-8 for one log line: line breaks are written as "\n", carriage returns dropped.
std::string OneLineUtf8(const std::wstring& text);

}  // namespace host
