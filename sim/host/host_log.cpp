#include "host_log.h"

// WriteFile hands each line to the system at once: nothing is held back in this process,
// so a reader sees every line as soon as it is written.

namespace host {

bool HostLog::OpenFile(const std::wstring& path) {
    win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = std::move(file);
    target_ = file_.Get();
    return true;
}

void HostLog::UseStandardOutput() {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = GetStdHandle(STD_OUTPUT_HANDLE);
}

void HostLog::Line(std::string_view text) {
    std::string line(text);
    line += '\n';
    std::lock_guard<std::mutex> lock(mutex_);
    if (target_ == nullptr || target_ == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(target_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void HostLog::Error(std::string_view text) {
    hadError_.store(true);
    Line("error " + std::string(text));
}

}  // namespace host
