#include "plugin/backup_thread_win32.h"

#include <memory>

#include "maintenance/backup_scheduler.h"
#include "platform/unique_handle_win32.h"

namespace vellum {
namespace {

// The scheduler is shared by the shell and the thread: either may be the
// last to let go. Nothing else of the module's state is touched by the thread.
using SharedScheduler = std::shared_ptr<BackupScheduler>;

SharedScheduler g_scheduler;
win32::UniqueKernelHandle g_thread;

DWORD WINAPI BackupThreadMain(LPVOID parameter) {
    HMODULE self = nullptr;
    {
        std::unique_ptr<SharedScheduler> scheduler(static_cast<SharedScheduler*>(parameter));
        try {
            (*scheduler)->Run();
        } catch (...) {
            // Out of memory: no backup today; the player goes on.
        }
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&BackupThreadMain), &self);
    }
    // Drops the reference taken at the start; the module may unload now.
    FreeLibraryAndExitThread(self, 0);
}

// A reference on this module for the thread, so an unload without the
// shut-down event never pulls the code from under it.
bool ReferenceModule() {
    HMODULE self = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&BackupThreadMain),
                              &self) != 0;
}

void ReleaseModuleReference() {
    HMODULE self = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&BackupThreadMain), &self))
        FreeLibrary(self);
}

}  // namespace

void StartAutomaticBackups(const std::wstring& library) {
    if (g_scheduler || library.empty()) return;
    auto scheduler = std::make_shared<BackupScheduler>(
        std::u16string(reinterpret_cast<const char16_t*>(library.data()), library.size()), ScheduleSettings());
    auto parameter = std::make_unique<SharedScheduler>(scheduler);
    if (!ReferenceModule()) return;
    win32::UniqueKernelHandle thread(CreateThread(nullptr, 0, BackupThreadMain, parameter.get(), 0, nullptr));
    if (!thread) {
        ReleaseModuleReference();
        return;
    }
    parameter.release();  // the thread owns it now
    SetThreadPriority(thread.Get(), THREAD_PRIORITY_BELOW_NORMAL);
    g_scheduler = std::move(scheduler);
    g_thread = std::move(thread);
}

void StopAutomaticBackups() {
    if (!g_scheduler) return;
    g_scheduler->Stop();
    if (g_thread) WaitForSingleObject(g_thread.Get(), kBackupStopWait);
    g_thread.Reset();
    g_scheduler.reset();
}

}  // namespace vellum
