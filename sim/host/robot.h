// The script robot: a thread of its own that reads the script and drives the host as a
// tester would, by messages to the main window. Each command is logged as
// "> command line" before its results. At the end of the script (or at "quit") it
// closes the main window, which shuts the plugins down and logs "exit".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle_win32.h"

namespace host {

class HostApp;

class Robot {
public:
    Robot(HostApp& app, std::wstring scriptPath) : app_(app), scriptPath_(std::move(scriptPath)) {}
    // Starts the thread; an empty handle when it cannot be started.
    win32::UniqueKernelHandle Start();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    bool ReadScript(std::vector<std::string>& lines);
    std::string ExpandFolder(const std::string& line) const;

    HostApp& app_;
    std::wstring scriptPath_;
};

}  // namespace host
