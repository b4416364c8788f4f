// The automatic backups' thread (maintenance/backup_scheduler.h): started
// once the host enables the plugin, stopped at shut-down.
#pragma once

#include <windows.h>

#include <string>

namespace vellum {

// Starts the thread for the library at `library`; a second call does nothing.
void StartAutomaticBackups(const std::wstring& library);
// Asks the thread to stop and waits for it at most kBackupStopWait: a copy
// in progress ends at its next step and deletes its partial file. A thread
// still busy after the wait ends on its own; it holds a reference on the
// module, so the module stays loaded until it has.
void StopAutomaticBackups();

constexpr DWORD kBackupStopWait = 1500;

}  // namespace vellum
