#include "dialog_watcher.h"

#include <commctrl.h>

#include "host_messages.h"
#include "text.h"
#include "window_capture.h"
#include "window_text.h"

namespace host {
namespace {

constexpr int kProgressId = 1000;
constexpr int kPathTextId = 1001;
constexpr int kCounterTextId = 1002;
constexpr int kCancelId = 1003;
constexpr UINT kProgressMessage = WM_APP;
constexpr int kMessageTextId = 0xFFFF;

// The hook procedure has no context: the one installed watcher is found here.
// It is only touched on the window thread.
DialogWatcher* installedWatcher = nullptr;

std::string ControlText(HWND dialog, int id) { return OneLineUtf8(WindowTextOf(GetDlgItem(dialog, id))); }

}  // namespace

DialogWatcher::~DialogWatcher() {
    if (installedWatcher == this) installedWatcher = nullptr;
}

bool DialogWatcher::Arm(DialogAction action, long step, const std::wstring& screenshotPath) {
    installedWatcher = this;
    if (!hook_) {
        hook_.Reset(SetWindowsHookExW(WH_CALLWNDPROCRET, &HookProc, nullptr, GetCurrentThreadId()));
    }
    armed_ = static_cast<bool>(hook_);
    dialog_ = nullptr;
    action_ = action;
    step_ = step;
    screenshotPath_ = screenshotPath;
    return armed_;
}

void DialogWatcher::ReleaseIfDone() {
    if (!armed_) hook_.Reset();
}

LRESULT CALLBACK DialogWatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && installedWatcher != nullptr) {
        installedWatcher->OnMessage(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A dialog of the main window; message boxes (with their text control) are left to the
// message box watcher.
bool DialogWatcher::IsWatchable(HWND window) const {
    return GetWindow(window, GW_OWNER) == owner_ && ClassNameOf(window) == L"#32770" &&
           GetDlgItem(window, kMessageTextId) == nullptr;
}

void DialogWatcher::OnMessage(const CWPRETSTRUCT& message) {
    if (!armed_) return;
    if (dialog_ == nullptr) {
        if (message.message == WM_INITDIALOG && IsWatchable(message.hwnd)) LogOpen(message.hwnd);
        return;
    }
    if (message.hwnd != dialog_) return;
    if (message.message == kProgressMessage && message.wParam == 1) {
        LogProgress(dialog_, static_cast<long>(message.lParam));
    } else if (message.message == WM_DESTROY) {
        log_.Line("dialog closed");
        armed_ = false;
        dialog_ = nullptr;
        PostMessageW(owner_, kDialogWatchDone, 0, 0);
    }
}

void DialogWatcher::LogOpen(HWND dialog) {
    dialog_ = dialog;
    PBRANGE range{};
    SendDlgItemMessageW(dialog, kProgressId, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    log_.Line("dialog open caption=" + OneLineUtf8(WindowTextOf(dialog)) + " range=" +
              std::to_string(range.iLow) + "-" + std::to_string(range.iHigh));
}

void DialogWatcher::LogProgress(HWND dialog, long step) {
    LRESULT position = SendDlgItemMessageW(dialog, kProgressId, PBM_GETPOS, 0, 0);
    log_.Line("dialog progress i=" + std::to_string(step) + " pos=" + std::to_string(position) +
              " path=" + ControlText(dialog, kPathTextId) +
              " counter=" + ControlText(dialog, kCounterTextId));
    if (step == step_) Act(dialog);
}

void DialogWatcher::Act(HWND dialog) {
    switch (action_) {
    case DialogAction::Record:
        break;
    case DialogAction::ClickCancel:
        SendDlgItemMessageW(dialog, kCancelId, BM_CLICK, 0, 0);
        break;
    case DialogAction::PressEscape: {
        HWND focus = GetFocus();
        MSG key{};
        key.hwnd = (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
        key.message = WM_KEYDOWN;
        key.wParam = VK_ESCAPE;
        key.lParam = 1;
        key.time = GetTickCount();
        IsDialogMessageW(dialog, &key);
        break;
    }
    case DialogAction::Screenshot: {
        SIZE size{};
        if (CaptureWindowToBmp(dialog, screenshotPath_, &size)) {
            log_.Line("dialog screenshot " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
        } else {
            log_.Error("cannot capture the dialog into " + Utf8FromWide(screenshotPath_));
        }
        break;
    }
    }
}

}  // namespace host
