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

bool DialogWatcher::Arm(DialogAction action, long step, const std::wstring& screenshotPath,
                        const std::vector<WPARAM>& keys) {
    installedWatcher = this;
    if (!hook_) {
        hook_.Reset(SetWindowsHookExW(WH_CALLWNDPROCRET, &HookProc, nullptr, GetCurrentThreadId()));
    }
    if (!armed_ || dialog_ != nullptr) plans_.clear();
    armed_ = static_cast<bool>(hook_);
    dialog_ = nullptr;
    plans_.push_back(Plan{step, action, keys});
    if (action == DialogAction::Screenshot) screenshotPath_ = screenshotPath;
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
    log_.Line("dialog open caption=" + OneLineUtf8(WindowTextOf(dialog)) + " range=" + std::to_string(range.iLow) +
              "-" + std::to_string(range.iHigh));
}

void DialogWatcher::LogProgress(HWND dialog, long step) {
    LRESULT position = SendDlgItemMessageW(dialog, kProgressId, PBM_GETPOS, 0, 0);
    log_.Line("dialog progress i=" + std::to_string(step) + " pos=" + std::to_string(position) +
              " path=" + ControlText(dialog, kPathTextId) + " counter=" + ControlText(dialog, kCounterTextId));
    for (const Plan& plan : plans_)
        if (plan.step == step) Act(dialog, plan);
}

// A key as the modal loop hands it on: down and up, each through the dialog
// manager with the control that has the focus as its window.
void DialogWatcher::PressKey(HWND dialog, WPARAM key) {
    HWND focus = GetFocus();
    const bool inDialog = focus == dialog || IsChild(dialog, focus);
    std::string where = !inDialog ? "none" : focus == dialog ? "dialog" : std::to_string(GetDlgCtrlID(focus));
    log_.Line("dialog key " + std::to_string(key) + " focus=" + where);
    MSG message{};
    message.hwnd = inDialog ? focus : dialog;
    message.wParam = key;
    message.time = GetTickCount();
    message.message = WM_KEYDOWN;
    message.lParam = 1;
    IsDialogMessageW(dialog, &message);
    message.message = WM_KEYUP;
    message.lParam = static_cast<LPARAM>(0xC0000001u);
    IsDialogMessageW(dialog, &message);
}

void DialogWatcher::Act(HWND dialog, const Plan& plan) {
    switch (plan.action) {
        case DialogAction::Record: break;
        case DialogAction::ClickCancel: SendDlgItemMessageW(dialog, kCancelId, BM_CLICK, 0, 0); break;
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
        case DialogAction::Close: SendMessageW(dialog, WM_CLOSE, 0, 0); break;
        case DialogAction::PressKeys:
            for (WPARAM key : plan.keys) PressKey(dialog, key);
            break;
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
