#include "maintenance/backup_scheduler.h"

#include "platform/seam.h"

namespace vellum {
namespace {

DailyBackup Judged(BackupOutcome outcome) {
    switch (outcome) {
        case BackupOutcome::Done: return DailyBackup::Made;
        case BackupOutcome::Stopped: return DailyBackup::Stopped;
        case BackupOutcome::WriteFailed: return DailyBackup::Failed;
        default: return DailyBackup::Skipped;
    }
}

}  // namespace

BackupScheduler::BackupScheduler(std::u16string library, ScheduleSettings settings)
    : library_(std::move(library)),
      folder_(BackupFolderFor(library_)),
      stem_(LibraryStem(library_)),
      settings_(std::move(settings)) {
    if (!settings_.now) settings_.now = platform::LocalTimeNow;
}

void BackupScheduler::Run() {
    if (stop_.WaitFor(settings_.startDelay)) return;
    do {
        MakeTodaysBackup();
    } while (!stop_.WaitFor(settings_.recheck));
}

DailyBackup BackupScheduler::MakeTodaysBackup() {
    if (!platform::CreateFolder(folder_)) return DailyBackup::Failed;
    if (!cleaned_) RemovePartialCopies(folder_);
    cleaned_ = true;
    const std::u16string target = folder_ + platform::PathSeparator() + DailyBackupName(stem_, settings_.now());
    if (platform::PathExists(target)) return DailyBackup::AlreadyMade;
    const DailyBackup made = Judged(CopyLibrary(library_, target, stop_, settings_.copy));
    if (made == DailyBackup::Made) PruneDailyBackups(folder_, stem_, kDailyKept);
    return made;
}

}  // namespace vellum
