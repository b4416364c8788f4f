#include "messagebox_watcher.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "window_text.h"

namespace host {
namespace {

constexpr DWORD kPollMilliseconds = 20;
constexpr int kMessageTextId = 0xFFFF;  // the static control holding a message box's text
constexpr UINT kSendTimeout = 5000;

bool IsMessageBox(HWND window) {
    return ClassNameOf(window) == L"#32770" && GetDlgItem(window, kMessageTextId) != nullptr;
}

}  // namespace

bool MessageBoxWatcher::Start() {
    stopEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_) return false;
    thread_.Reset(CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

void MessageBoxWatcher::Stop() {
    if (!thread_) return;
    SetEvent(stopEvent_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
}

DWORD WINAPI MessageBoxWatcher::ThreadMain(void* self) {
    auto* watcher = static_cast<MessageBoxWatcher*>(self);
    while (WaitForSingleObject(watcher->stopEvent_.Get(), kPollMilliseconds) == WAIT_TIMEOUT) {
        watcher->Poll();
    }
    return 0;
}

BOOL CALLBACK MessageBoxWatcher::VisitWindow(HWND window, LPARAM self) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsMessageBox(window)) {
        reinterpret_cast<MessageBoxWatcher*>(self)->present_.insert(window);
    }
    return TRUE;
}

void MessageBoxWatcher::Poll() {
    present_.clear();
    EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(this));
    std::set<HWND> stillThere;
    std::set_intersection(seen_.begin(), seen_.end(), present_.begin(), present_.end(),
                          std::inserter(stillThere, stillThere.end()));
    seen_.swap(stillThere);
    for (HWND box : present_) {
        if (seen_.insert(box).second) Dismiss(box);
    }
}

void MessageBoxWatcher::Dismiss(HWND box) {
    std::string caption = OneLineUtf8(WindowTextOf(box));
    std::string text = OneLineUtf8(WindowTextOf(GetDlgItem(box, kMessageTextId)));
    log_.Line("messagebox caption=" + caption + " text=" + text);
    HWND button = GetDlgItem(box, IDOK);
    if (button == nullptr) button = GetDlgItem(box, IDCANCEL);
    DWORD_PTR ignored = 0;
    if (button != nullptr) {
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeout, &ignored);
    } else {
        SendMessageTimeoutW(box, WM_COMMAND, IDOK, 0, SMTO_NORMAL, kSendTimeout, &ignored);
    }
}

}  // namespace host
