#include "maintenance/backup.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "maintenance/own_database.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace vellum {
namespace {

constexpr char16_t kPartialSuffix[] = u".partial";
constexpr std::chrono::milliseconds kBusyPoll{10};

struct BackupCloser {
    void operator()(sqlite3_backup* backup) const noexcept { sqlite3_backup_finish(backup); }
};
using OwnBackup = std::unique_ptr<sqlite3_backup, BackupCloser>;

// The source's waits for other programs' locks: polled, ending early when
// the copy is asked to stop.
struct SourceWait {
    const StopSignal& stop;
    std::chrono::milliseconds limit;
};

int WaitForSource(void* context, int attempts) {
    const SourceWait& wait = *static_cast<const SourceWait*>(context);
    if (wait.stop.Raised() || kBusyPoll * attempts >= wait.limit) return 0;
    wait.stop.WaitFor(kBusyPoll);
    return 1;
}

// A long quick check ends early when the copy is asked to stop.
int StopRequested(void* context) { return static_cast<const StopSignal*>(context)->Raised() ? 1 : 0; }

BackupOutcome OpenSource(std::u16string_view library, SourceWait& wait, OwnDatabase& source) {
    source = OpenOwnDatabase(platform::Utf16ToUtf8(library), SQLITE_OPEN_READONLY, 0);
    if (!source) return BackupOutcome::Unreadable;
    sqlite3_busy_handler(source.get(), WaitForSource, &wait);
    int rc = SQLITE_OK;
    const std::string tables =
        FirstText(source.get(), "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'list'", &rc);
    if (rc == SQLITE_BUSY) return wait.stop.Raised() ? BackupOutcome::Stopped : BackupOutcome::Busy;
    return tables == "1" ? BackupOutcome::Done : BackupOutcome::Unreadable;
}

// The library's check, run on the finished copy: its pages are the library's
// at the copy's moment, damage included, and checking them there holds no
// lock on the library the player writes.
BackupOutcome CheckCopy(sqlite3* copy, const StopSignal& stop) {
    sqlite3_progress_handler(copy, 1000, StopRequested, const_cast<void*>(static_cast<const void*>(&stop)));
    int rc = SQLITE_OK;
    const std::string verdict = FirstText(copy, "PRAGMA quick_check", &rc);
    sqlite3_progress_handler(copy, 0, nullptr, nullptr);
    if (stop.Raised()) return BackupOutcome::Stopped;
    return rc == SQLITE_OK && verdict == "ok" ? BackupOutcome::Done : BackupOutcome::Damaged;
}

// Steps the copy to its end. A step that finds the source changed by another
// connection starts over; the step then doubles, so the copy ends even while
// the library is written all the time.
BackupOutcome StepCopy(sqlite3_backup* backup, const StopSignal& stop, const BackupSettings& settings,
                       const WorkProgress& progress) {
    int pages = settings.pagesPerStep;
    int lastRemaining = -1;
    auto busySince = std::chrono::steady_clock::time_point::max();
    for (;;) {
        if (stop.Raised()) return BackupOutcome::Stopped;
        const int rc = sqlite3_backup_step(backup, pages);
        if (rc == SQLITE_DONE) return BackupOutcome::Done;
        const auto now = std::chrono::steady_clock::now();
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            busySince = std::min(busySince, now);
            if (now - busySince >= settings.busyLimit) return BackupOutcome::Busy;
        } else if (rc == SQLITE_OK) {
            busySince = std::chrono::steady_clock::time_point::max();
        } else {
            return BackupOutcome::WriteFailed;
        }
        const int remaining = sqlite3_backup_remaining(backup);
        const int total = sqlite3_backup_pagecount(backup);
        if (lastRemaining >= 0 && remaining > lastRemaining && pages > 0) pages = pages >= total ? -1 : pages * 2;
        lastRemaining = remaining;
        if (progress) progress(static_cast<std::size_t>(total - remaining), static_cast<std::size_t>(total));
        stop.WaitFor(settings.pause);
    }
}

BackupOutcome CopyInto(sqlite3* source, std::u16string_view partial, const StopSignal& stop,
                       const BackupSettings& settings, const WorkProgress& progress) {
    OwnDatabase target = OpenOwnDatabase(platform::Utf16ToUtf8(partial), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0,
                                         settings.targetVfs);
    // The partial file is deleted on failure, so it needs no journal.
    if (!target || ExecOwn(target.get(), "PRAGMA journal_mode = OFF") != SQLITE_OK) return BackupOutcome::WriteFailed;
    OwnBackup backup(sqlite3_backup_init(target.get(), "main", source, "main"));
    if (!backup) return BackupOutcome::WriteFailed;
    const BackupOutcome outcome = StepCopy(backup.get(), stop, settings, progress);
    if (sqlite3_backup_finish(backup.release()) != SQLITE_OK && outcome == BackupOutcome::Done)
        return BackupOutcome::WriteFailed;
    if (outcome != BackupOutcome::Done) return outcome;
    const BackupOutcome checked = CheckCopy(target.get(), stop);
    if (checked != BackupOutcome::Done) return checked;
    return sqlite3_close(target.release()) == SQLITE_OK ? BackupOutcome::Done : BackupOutcome::WriteFailed;
}

std::u16string Digits(unsigned value, int width) {
    char text[12];
    if (std::snprintf(text, sizeof text, "%0*u", width, value) < 0) return std::u16string();
    return platform::Utf8ToUtf16(text);
}

std::u16string DatePart(const VellumSystemTime& day) {
    return Digits(day.wYear, 4) + u"-" + Digits(day.wMonth, 2) + u"-" + Digits(day.wDay, 2);
}

std::size_t LastSeparator(std::u16string_view path) { return path.find_last_of(u"\\/"); }

bool EndsWith(std::u16string_view text, std::u16string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

BackupOutcome CopyLibrary(std::u16string_view library, std::u16string_view target, const StopSignal& stop,
                          const BackupSettings& settings, const WorkProgress& progress) {
    // A copy moved over the library itself would cut the player's connection off.
    if (platform::SameFile(library, target)) return BackupOutcome::WriteFailed;
    SourceWait wait{stop, settings.busyLimit};
    OwnDatabase source;
    const BackupOutcome opened = OpenSource(library, wait, source);
    if (opened != BackupOutcome::Done) return opened;
    const std::u16string partial = std::u16string(target) + kPartialSuffix;
    BackupOutcome outcome = CopyInto(source.get(), partial, stop, settings, progress);
    if (outcome == BackupOutcome::Done && !platform::MoveReplacing(partial, target))
        outcome = BackupOutcome::WriteFailed;
    if (outcome != BackupOutcome::Done) platform::RemoveFile(partial);
    return outcome;
}

std::u16string BackupFolderFor(std::u16string_view library) {
    const std::size_t separator = LastSeparator(library);
    const std::u16string_view folder =
        separator == std::u16string_view::npos ? std::u16string_view() : library.substr(0, separator + 1);
    return std::u16string(folder) + LibraryStem(library) + u"-backups";
}

std::u16string LibraryStem(std::u16string_view library) {
    const std::size_t separator = LastSeparator(library);
    std::u16string_view name = separator == std::u16string_view::npos ? library : library.substr(separator + 1);
    const std::size_t dot = name.find_last_of(u'.');
    return std::u16string(dot == std::u16string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

std::u16string DailyBackupName(std::u16string_view stem, const VellumSystemTime& day) {
    return std::u16string(stem) + u"-" + DatePart(day) + u".db";
}

std::u16string TimedBackupName(std::u16string_view stem, const VellumSystemTime& time) {
    return std::u16string(stem) + u"-" + DatePart(time) + u"-" + Digits(time.wHour, 2) + Digits(time.wMinute, 2) +
           Digits(time.wSecond, 2) + u".db";
}

bool IsDailyBackupName(std::u16string_view stem, std::u16string_view name) {
    constexpr std::u16string_view kShape = u"-0000-00-00.db";
    if (name.size() != stem.size() + kShape.size() || name.substr(0, stem.size()) != stem) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const char16_t unit = name[stem.size() + i];
        if (kShape[i] == u'0' ? !(unit >= u'0' && unit <= u'9') : unit != kShape[i]) return false;
    }
    return true;
}

std::size_t PruneDailyBackups(std::u16string_view folder, std::u16string_view stem, std::size_t keep) {
    std::vector<std::u16string> daily;
    for (std::u16string& name : platform::FilesInFolder(folder))
        if (IsDailyBackupName(stem, name)) daily.push_back(std::move(name));
    if (daily.size() <= keep) return 0;
    // The names sort by their dates; the newest come first.
    std::sort(daily.begin(), daily.end(), std::greater<>());
    std::size_t removed = 0;
    for (std::size_t i = keep; i < daily.size(); ++i)
        removed += platform::RemoveFile(std::u16string(folder) + platform::PathSeparator() + daily[i]) ? 1 : 0;
    return removed;
}

void RemovePartialCopies(std::u16string_view folder) {
    for (const std::u16string& name : platform::FilesInFolder(folder))
        if (EndsWith(name, kPartialSuffix))
            platform::RemoveFile(std::u16string(folder) + platform::PathSeparator() + name);
}

}  // namespace vellum
