// Dismisses message boxes, as a tester clicking OK would: a thread of its own polls the
// process's top-level dialogs every 20 ms, logs each message box
// ("messagebox caption=... text=...") and closes it with OK. Other dialogs are left alone.
#pragma once

#include <windows.h>

#include <set>

#include "host_log.h"
#include "platform/unique_handle_win32.h"

namespace host {

class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(HostLog& log) : log_(log) {}
    ~MessageBoxWatcher() { Stop(); }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    bool Start();
    void Stop();

private:
    static DWORD WINAPI ThreadMain(void* self);
    static BOOL CALLBACK VisitWindow(HWND window, LPARAM self);
    void Poll();
    void Dismiss(HWND box);

    HostLog& log_;
    win32::UniqueKernelHandle stopEvent_;
    win32::UniqueKernelHandle thread_;
    std::set<HWND> seen_;     // boxes logged, until they are gone
    std::set<HWND> present_;  // boxes found by the current poll
};

}  // namespace host
