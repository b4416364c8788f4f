#include "plugin/progress_dialog_win32.h"

#include <commctrl.h>

#include <atomic>

#include "platform/unique_handle_win32.h"
#include "plugin/shell_state_win32.h"

namespace vellum {
namespace {

constexpr int kDialogResource = 102;
constexpr int kProgressBar = 1000;
constexpr int kPathText = 1001;
constexpr int kCounterText = 1002;
constexpr int kCancelButton = 1003;
// Worker to dialog: wParam 1 = item lParam is about to be processed, 0 = done.
constexpr UINT kProgressMessage = WM_APP;
constexpr WPARAM kItemStarting = 1;
constexpr WPARAM kBatchFinished = 0;

const wchar_t kAddCaption[] = L"vellumdb データベースにアイテムを追加しています";
const wchar_t kRemoveCaption[] = L"vellumdb データベースのアイテムを削除しています";

// One batch from the dialog's opening to its end; lives in RunProgressDialog.
struct BatchSession {
    BatchSession(BatchMode batchMode, const BatchPathList& batchPaths, LibraryConnection& batchConnection,
                 const ProbeContext& batchProbe)
        : mode(batchMode), paths(batchPaths), connection(batchConnection), probe(batchProbe) {}
    BatchMode mode;
    const BatchPathList& paths;
    LibraryConnection& connection;
    const ProbeContext& probe;
    // Set by Cancel, Escape, a close request or the dialog's end; the worker's
    // sink then declines the next item.
    std::atomic<bool> cancelRequested{false};
    // Set when the worker's final message has ended the dialog.
    bool finished = false;
    // The dialog the worker reports to; set before the worker starts.
    HWND dialog = nullptr;
    win32::UniqueKernelHandle worker;
};

// Reports to the dialog with sent messages, so item i is on screen before the
// worker touches it. Once the user has cancelled (or the dialog has gone) it
// declines the next item, so the batch ends after the item in work.
class DialogSink : public BatchProgressSink {
public:
    DialogSink(HWND dialog, const std::atomic<bool>& cancelRequested)
        : dialog_(dialog), cancelRequested_(cancelRequested) {}
    bool ItemStarting(std::size_t index) override {
        if (cancelRequested_.load()) return false;
        SendMessageW(dialog_, kProgressMessage, kItemStarting, static_cast<LPARAM>(index));
        return true;
    }
    void Finished() override { SendMessageW(dialog_, kProgressMessage, kBatchFinished, 0); }

private:
    HWND dialog_;
    const std::atomic<bool>& cancelRequested_;
};

DWORD WINAPI BatchWorkerProc(void* parameter) {
    try {
        BatchSession& session = *static_cast<BatchSession*>(parameter);
        DialogSink sink(session.dialog, session.cancelRequested);
        RunBatch(BatchJob{session.mode, session.paths, session.connection, session.probe}, sink);
    } catch (...) {
        // Nothing may escape a thread procedure.
    }
    return 0;
}

// Waits for the worker to end while still answering messages sent to this
// thread, so a worker inside SendMessageW is never left waiting on us.
void WaitForWorker(HANDLE thread) {
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) return;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

BatchSession* SessionOf(HWND dialog) { return reinterpret_cast<BatchSession*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

void OnInitDialog(HWND dialog, BatchSession& session) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&session));
    session.dialog = dialog;
    SetWindowTextW(dialog, session.mode == BatchMode::Add ? kAddCaption : kRemoveCaption);
    // The 32-bit range: a batch of 65,536 items or more still fills the bar.
    SendDlgItemMessageW(dialog, kProgressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(session.paths.Size()));
    session.cancelRequested = false;
    session.worker.Reset(CreateThread(nullptr, 0, BatchWorkerProc, &session, 0, nullptr));
    // Without a worker nothing would ever end the dialog.
    if (session.worker.Get() == nullptr) EndDialog(dialog, 0);
}

void OnItemStarting(HWND dialog, const BatchSession& session, std::size_t index) {
    if (index >= session.paths.Size()) return;
    SendDlgItemMessageW(dialog, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(index), 0);
    SetDlgItemTextW(dialog, kPathText, reinterpret_cast<const wchar_t*>(session.paths.At(index).c_str()));
    wchar_t counter[32];
    wsprintfW(counter, L"%d/%d", static_cast<int>(index), static_cast<int>(session.paths.Size()));
    SetDlgItemTextW(dialog, kCounterText, counter);
}

// The dialog may go without the worker's final message (destroyed with its
// owner): the worker then stops after the item in work. It is waited for once
// the dialog has gone, never here: this may run inside the handling of a
// message the worker is waiting on. The modal loop notices that its dialog is
// gone only when a message arrives; one is posted so that it does.
void OnDestroy(BatchSession& session) {
    session.cancelRequested = true;
    if (!session.finished) PostMessageW(nullptr, WM_NULL, 0, 0);
}

INT_PTR Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, *reinterpret_cast<BatchSession*>(lParam));
        // Enter or Space must not end the user's batch; only Cancel itself,
        // Escape or a close request do. The dialog manager would give the focus
        // to Cancel, its one tab stop (and makes a focused button the default
        // one, which Enter presses), also later when the dialog is activated:
        // so the progress bar, which no key moves, takes the focus, and FALSE
        // tells the dialog manager that the focus has been set.
        SetFocus(GetDlgItem(dialog, kProgressBar));
        return FALSE;
    }
    BatchSession* session = SessionOf(dialog);
    if (session == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == kCancelButton) session->cancelRequested = true;
            return TRUE;
        case kProgressMessage:
            if (wParam == kItemStarting) OnItemStarting(dialog, *session, static_cast<std::size_t>(lParam));
            if (wParam == kBatchFinished) {
                session->finished = true;
                EndDialog(dialog, 1);
            }
            return TRUE;
        case WM_DESTROY:
            OnDestroy(*session);
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Handle(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

void RunProgressDialog(HWND owner, BatchMode mode, const BatchPathList& paths, LibraryConnection& connection,
                       const ProbeContext& probe) {
    BatchSession session(mode, paths, connection, probe);
    DialogBoxParamW(Shell().module, MAKEINTRESOURCEW(kDialogResource), owner, ProgressDialogProc,
                    reinterpret_cast<LPARAM>(&session));
    // Normally the worker has sent its last message and is ending. Its handle
    // is closed with the session, after it has ended and no longer uses it.
    if (session.worker.Get() != nullptr) WaitForWorker(session.worker.Get());
}

}  // namespace vellum
