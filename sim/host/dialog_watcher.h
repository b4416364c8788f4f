// Watches the next dialog owned by the main window (class #32770) through a thread hook
// on the window thread (WH_CALLWNDPROCRET: each message after its dialog procedure has
// handled it) and logs what a tester would see: the opening with the progress range,
// each progress step (WM_APP, wParam 1, lParam i) and the closing. At chosen steps it
// can click Cancel, press Escape, ask the dialog to close (WM_CLOSE), press keys
// (through the dialog manager, to the control that has the focus, as the modal loop
// hands them on) or take a screenshot. The hook is in place only while a
// watch is armed: with a hook installed, every message the window thread sends costs a
// trip through the hook chain, which slows bulk list-view work a hundredfold.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host_log.h"
#include "platform/unique_handle_win32.h"

namespace host {

enum class DialogAction { Record, ClickCancel, PressEscape, PressKeys, Close, Screenshot };

class DialogWatcher {
public:
    explicit DialogWatcher(HostLog& log) : log_(log) {}
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // Watches dialogs owned by this window (the main window, on whose thread all
    // calls are made).
    void SetOwner(HWND owner) { owner_ = owner; }
    // Watches the next dialog; the action happens once step `step` has been shown.
    // Arming again before that dialog opens adds another step's action. `keys`
    // are the virtual keys PressKeys presses, in order. False when the hook
    // cannot be installed.
    bool Arm(DialogAction action, long step, const std::wstring& screenshotPath, const std::vector<WPARAM>& keys = {});
    // Removes the hook once the watched dialog has closed; the watcher posts
    // kDialogWatchDone to the owner for this, as a hook should not remove itself.
    void ReleaseIfDone();

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void OnMessage(const CWPRETSTRUCT& message);
    bool IsWatchable(HWND window) const;
    void LogOpen(HWND dialog);
    void LogProgress(HWND dialog, long step);
    struct Plan {
        long step;
        DialogAction action;
        std::vector<WPARAM> keys;
    };
    void Act(HWND dialog, const Plan& plan);
    void PressKey(HWND dialog, WPARAM key);

    HostLog& log_;
    win32::UniqueHook hook_;
    HWND owner_ = nullptr;
    bool armed_ = false;
    HWND dialog_ = nullptr;
    std::vector<Plan> plans_;
    std::wstring screenshotPath_;
};

}  // namespace host
