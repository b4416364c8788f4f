// The plugin's automatic backups: at most one a local day, taken on a thread
// of its own after start-up, kept as the newest kDailyKept files in the
// folder beside the library ("Plugins\vellumdb-backups\vellumdb-2026-12-09.db").
//
// Run() is the thread's whole body; Stop() may come from any thread at any
// time and ends Run() at its next step or wait, deleting a partial copy.
// The thread needs nothing but the scheduler, so the shell may keep it alive
// through a shared owner and let the thread end on its own.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "maintenance/backup.h"
#include "maintenance/stop_signal.h"
#include "vellumdb.h"

namespace vellum {

struct ScheduleSettings {
    // The wait after start-up before the first look, so a backup never
    // competes with the player's start.
    std::chrono::milliseconds startDelay{5000};
    // How often a running player looks whether a new day wants its backup.
    std::chrono::milliseconds recheck{std::chrono::minutes(10)};
    BackupSettings copy;
    // The local date and time now; tests set their own day.
    std::function<VellumSystemTime()> now;
};

// What one look found and did.
enum class DailyBackup {
    Made,
    AlreadyMade,  // today's file is there
    Skipped,      // the library is damaged, unreadable or held locked
    Failed,       // the copy could not be written
    Stopped
};

class BackupScheduler {
public:
    static constexpr std::size_t kDailyKept = 3;

    BackupScheduler(std::u16string library, ScheduleSettings settings);

    // Waits startDelay, then makes the day's backup if missing, and looks
    // again every `recheck` until stopped.
    void Run();
    // Asks Run() to end; returns at once.
    void Stop() { stop_.Raise(); }

    // One look: today's backup made unless it exists, then the older ones
    // pruned. At the first look, partial copies a process that ended mid-copy
    // left behind are deleted first.
    DailyBackup MakeTodaysBackup();
    const std::u16string& Folder() const { return folder_; }

private:
    std::u16string library_;
    std::u16string folder_;
    std::u16string stem_;
    ScheduleSettings settings_;
    StopSignal stop_;
    bool cleaned_ = false;
};

}  // namespace vellum
