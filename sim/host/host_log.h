// The host's log: UTF-8 lines to a file or standard output, written whole and at once,
// from any thread. Remembers whether an "error" line was written.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/unique_handle_win32.h"

namespace host {

class HostLog {
public:
    HostLog() = default;
    // Opens (truncates) the file; false when it cannot be created.
    bool OpenFile(const std::wstring& path);
    void UseStandardOutput();

    void Line(std::string_view text);
    void Error(std::string_view text);
    bool HadError() const { return hadError_.load(); }

private:
    std::mutex mutex_;
    win32::UniqueFile file_;
    HANDLE target_ = nullptr;
    std::atomic<bool> hadError_{false};
};

}  // namespace host
