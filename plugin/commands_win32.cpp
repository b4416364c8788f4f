#include "plugin/commands_win32.h"

#include <atomic>
#include <string>

#include "api/plugin_state.h"
#include "maintenance/purge.h"
#include "platform/seam.h"
#include "plugin/collect_selection_win32.h"
#include "plugin/progress_dialog_win32.h"

namespace vellum {
namespace {

std::atomic<bool> g_batchRunning{false};

// Claims the one batch slot and the process-wide path list for a scope,
// emptying the list when the scope ends.
class BatchClaim {
public:
    BatchClaim() : owned_(!g_batchRunning.exchange(true)) {}
    ~BatchClaim() {
        if (!owned_) return;
        BatchPaths().Clear();
        g_batchRunning = false;
    }
    BatchClaim(const BatchClaim&) = delete;
    BatchClaim& operator=(const BatchClaim&) = delete;
    explicit operator bool() const { return owned_; }

private:
    bool owned_;
};

// A removable drive without a medium must answer "unreachable", not put up
// the system's "insert a disk" box in front of the user.
class QuietDriveErrors {
public:
    QuietDriveErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_); }
    ~QuietDriveErrors() { SetThreadErrorMode(previous_, nullptr); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    DWORD previous_ = 0;
};

// The file system through Win32. A text of MAX_PATH units or more is asked
// about in its extended-length form, which has no such limit.
class Win32Existence : public ExistenceTester {
public:
    bool PathExists(std::u16string_view path) override {
        if (path.empty()) return false;
        std::wstring text(reinterpret_cast<const wchar_t*>(path.data()), path.size());
        if (text.size() >= MAX_PATH) text = ExtendedLength(text);
        return GetFileAttributesW(text.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool VolumeReachable(std::u16string_view root) override { return platform::VolumeReachable(root); }

private:
    static std::wstring ExtendedLength(const std::wstring& text) {
        if (text.rfind(L"\\\\?\\", 0) == 0) return text;
        std::wstring full(32768, L'\0');
        const DWORD length = GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0 || length >= full.size()) return text;
        full.resize(length);
        if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
        return L"\\\\?\\" + full;
    }
};

// The dialog runs the batch on the plugin's connection, probing with the
// audio library and the host's cue interface.
void RunBatchDialog(HWND host, BatchMode mode, const BatchPathList& paths) {
    PluginState& state = State();
    const ProbeContext probe = state.Probe();
    RunProgressDialog(host, mode, paths, state.connection, probe);
}

void RunSelectionBatch(HWND host, BatchMode mode) {
    BatchClaim claim;
    if (!claim) return;
    BatchPathList& paths = BatchPaths();
    CollectSelectedPaths(host, paths);
    if (!paths.Empty()) RunBatchDialog(host, mode, paths);
}

}  // namespace

void AddSelectedToLibrary(HWND host) { RunSelectionBatch(host, BatchMode::Add); }

void RemoveSelectedFromLibrary(HWND host) { RunSelectionBatch(host, BatchMode::Remove); }

void PurgeBrokenLinks(HWND host) {
    BatchClaim claim;
    if (!claim) return;
    BatchPathList& paths = BatchPaths();
    paths.Clear();
    {
        QuietDriveErrors quiet;
        Win32Existence existence;
        CollectBrokenLinks(State().connection, existence, paths);
    }
    if (!paths.Empty()) RunBatchDialog(host, BatchMode::Remove, paths);
}

}  // namespace vellum
