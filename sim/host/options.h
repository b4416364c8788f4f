// The host's command line:
//   host.exe [--log FILE] [--cue-version N|null] [--cue-text wide|ansi] [--no-enable] [SCRIPT]
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct HostOptions {
    std::wstring logPath;     // empty: standard output
    std::wstring scriptPath;  // empty: interactive, no robot
    bool cueInterfaceNull = false;
    uint32_t cueVersion = 39;
    bool cueWideText = true;
    bool enablePlugins = true;
};

// Fills options from the arguments after the program name; on failure returns false
// and describes the problem in error.
bool ParseOptions(const std::vector<std::wstring>& args, HostOptions& options, std::string& error);

}  // namespace host
