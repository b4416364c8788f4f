// Consistent copies of the library, taken with SQLite's online backup in
// small steps from a connection of its own, so another program's locks and
// the plugin's own writes never give a torn copy: a source written during the
// copy makes SQLite start the copy again, and each restart doubles the step,
// so a copy always ends.
//
// The copy is written to "<target>.partial" and moved into place only once
// it is complete and passes PRAGMA quick_check. The check runs on the copy,
// whose pages are the library's at the copy's moment, so the library's
// readers and writers never wait for it. A copy that fails (a damaged
// library, a full disk) or is stopped deletes its partial file, so the target
// is either the whole new copy or what was there before.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "maintenance/stop_signal.h"
#include "maintenance/work_progress.h"
#include "vellumdb.h"

namespace vellum {

struct BackupSettings {
    // Pages copied per step while the source's read lock is held.
    int pagesPerStep = 256;
    // The pause between steps, in which writers get the file.
    std::chrono::milliseconds pause{1};
    // How long the copy waits for other programs' write locks, in all.
    std::chrono::milliseconds busyLimit{10000};
    // The SQLite VFS the copy is written through (null: the default).
    const char* targetVfs = nullptr;
};

enum class BackupOutcome {
    Done,
    Unreadable,   // the library cannot be opened or holds no `list`
    Damaged,      // its copy fails PRAGMA quick_check
    Busy,         // other programs held it locked for longer than busyLimit
    WriteFailed,  // the copy could not be written (a full disk, no folder)
    Stopped       // the stop signal was raised
};

// Copies the library at `library` to `target` (wide paths). `progress` hears
// the pages copied of the total.
BackupOutcome CopyLibrary(std::u16string_view library, std::u16string_view target, const StopSignal& stop,
                          const BackupSettings& settings, const WorkProgress& progress = nullptr);

// --- Where backups live ------------------------------------------------------
// The folder beside the library named after it: "...\Plugins\vellumdb-backups"
// for "...\Plugins\vellumdb.db".
std::u16string BackupFolderFor(std::u16string_view library);
// The library's file name without its extension ("vellumdb").
std::u16string LibraryStem(std::u16string_view library);
// "vellumdb-2026-12-09.db": the day's automatic backup.
std::u16string DailyBackupName(std::u16string_view stem, const VellumSystemTime& day);
// "vellumdb-2026-12-09-113005.db": a backup made on request.
std::u16string TimedBackupName(std::u16string_view stem, const VellumSystemTime& time);
// True for a name DailyBackupName gives.
bool IsDailyBackupName(std::u16string_view stem, std::u16string_view name);
// Deletes all but the newest `keep` daily backups in the folder; returns how
// many were deleted. Other files are left alone.
std::size_t PruneDailyBackups(std::u16string_view folder, std::u16string_view stem, std::size_t keep);
// Deletes the partial copies a process that ended mid-copy left in the folder.
void RemovePartialCopies(std::u16string_view folder);

}  // namespace vellum
