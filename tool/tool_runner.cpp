#include "tool/tool_runner.h"

#include <string>

#include "maintenance/own_database.h"
#include "maintenance/relink.h"
#include "maintenance/restore_plays.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "tool/tool_arguments.h"

namespace vellum::tool {
namespace {

constexpr std::size_t kIntegrityLinesShown = 10;

std::u16string Number(std::size_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }
std::u16string Wide(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }

// One run of one command: its request, where it prints, and its texts.
class Run {
public:
    Run(const Request& request, const Environment& environment, Console& console)
        : request_(request), environment_(environment), console_(console) {}

    int Dispatch() {
        switch (request_.command) {
            case Command::Check: return Check();
            case Command::Backup: return Backup();
            case Command::Relink: return RelinkFolders();
            case Command::RestorePlays: return Restore();
            case Command::Help: break;
        }
        Say(Message::Usage);
        return kDone;
    }

private:
    void Say(Message message, std::initializer_list<std::u16string_view> values = {}) {
        console_.Line(Text(message, environment_.language, values));
    }

    int BadArguments(Message message, std::initializer_list<std::u16string_view> values) {
        Say(Message::BadArguments, {Text(message, environment_.language, values)});
        Say(Message::Usage);
        return kBadArguments;
    }

    // Long work's display: a line each time the percentage moves.
    WorkProgress Progress(Message label) {
        return [this, label, shown = std::size_t(101)](std::size_t done, std::size_t total) mutable {
            const std::size_t percent = total == 0 ? 100 : done * 100 / total;
            if (percent == shown) return;
            shown = percent;
            const std::u16string name = Text(label, environment_.language);
            console_.Progress(Text(Message::ProgressLine, environment_.language, {name, Number(percent)}));
        };
    }
    void EndProgress() { console_.Progress(u""); }

    std::u16string LibraryPath() const { return request_.database.value_or(environment_.defaultLibrary); }

    // Opens the library for reading or writing, checked; kDone when usable.
    int OpenLibrary(int flags, OwnDatabase& library) {
        const std::u16string path = LibraryPath();
        library = OpenOwnDatabase(platform::Utf16ToUtf8(path), flags, environment_.busyTimeoutMs);
        if (!library || !HasTrackTable(library.get())) {
            Say(Message::CannotOpenLibrary, {path});
            return kLibraryUnusable;
        }
        if (flags != SQLITE_OPEN_READONLY && !PassesQuickCheck(library.get())) {
            Say(Message::LibraryDamaged, {path});
            return kLibraryUnusable;
        }
        return kDone;
    }

    int Check();
    int ReportIntegrity(sqlite3* library);
    void ReportLinks(sqlite3* library);
    int Backup();
    int RelinkFolders();
    int Restore();
    int ReportRestore(const RestoreReport& report);
    bool ValidFolders(const std::u16string& from, const std::u16string& to, int& exit);

    const Request& request_;
    const Environment& environment_;
    Console& console_;
};

int Run::Check() {
    OwnDatabase library;
    const std::u16string path = LibraryPath();
    library = OpenOwnDatabase(platform::Utf16ToUtf8(path), SQLITE_OPEN_READONLY, environment_.busyTimeoutMs);
    if (!library) {
        Say(Message::CannotOpenLibrary, {path});
        return kLibraryUnusable;
    }
    Say(Message::CheckLibrary, {path});
    if (ReportIntegrity(library.get()) != kDone) return kLibraryUnusable;
    if (!HasTrackTable(library.get())) {
        Say(Message::CannotOpenLibrary, {path});
        return kLibraryUnusable;
    }
    Say(Message::CheckRows, {Wide(FirstText(library.get(), "SELECT count(*) FROM list"))});
    ReportLinks(library.get());
    return kDone;
}

int Run::ReportIntegrity(sqlite3* library) {
    OwnStatement check = PrepareOwn(library, "PRAGMA integrity_check");
    std::vector<std::string> problems;
    int rc = check ? SQLITE_ROW : sqlite3_errcode(library);
    while (check && (rc = sqlite3_step(check.get())) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(check.get(), 0);
        problems.push_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
    }
    if (rc == SQLITE_DONE && problems.size() == 1 && problems[0] == "ok") {
        Say(Message::CheckIntegrityOk);
        return kDone;
    }
    if (rc == SQLITE_BUSY) {
        Say(Message::LibraryBusy, {LibraryPath()});
        return kLibraryUnusable;
    }
    if (rc != SQLITE_DONE) problems.push_back(sqlite3_errstr(rc));
    for (std::size_t i = 0; i < problems.size() && i < kIntegrityLinesShown; ++i)
        Say(Message::CheckIntegrityProblem, {Wide(problems[i])});
    Say(Message::LibraryDamaged, {LibraryPath()});
    return kLibraryUnusable;
}

void Run::ReportLinks(sqlite3* library) {
    OwnStatement names = PrepareOwn(library, "SELECT file_name FROM list WHERE file_name IS NOT NULL");
    std::vector<std::string> all;
    while (names && sqlite3_step(names.get()) == SQLITE_ROW)
        all.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(names.get(), 0)),
                         static_cast<std::size_t>(sqlite3_column_bytes(names.get(), 0)));
    names.reset();
    LinkJudge judge(*environment_.files);
    std::vector<std::string> missing;
    std::size_t offline = 0;
    WorkProgress progress = Progress(Message::ProgressChecking);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const LinkVerdict verdict = judge.Judge(all[i]);
        if (verdict == LinkVerdict::Missing) missing.push_back(all[i]);
        offline += verdict == LinkVerdict::Offline ? 1 : 0;
        if ((i + 1) % 1000 == 0) progress(i + 1, all.size());
    }
    EndProgress();
    Say(Message::CheckMissing, {Number(missing.size())});
    Say(Message::CheckOffline, {Number(offline)});
    for (const std::string& name : missing) Say(Message::CheckMissingRow, {Wide(name)});
}

int Run::Backup() {
    const std::u16string library = LibraryPath();
    std::u16string target;
    if (!request_.operands.empty()) {
        target = request_.operands[0];
    } else {
        const std::u16string folder = BackupFolderFor(library);
        platform::CreateFolder(folder);
        const VellumSystemTime now = environment_.now ? environment_.now() : platform::LocalTimeNow();
        target = folder + platform::PathSeparator() + TimedBackupName(LibraryStem(library), now);
    }
    StopSignal never;
    const BackupOutcome outcome =
        CopyLibrary(library, target, never, environment_.backup, Progress(Message::ProgressCopying));
    EndProgress();
    switch (outcome) {
        case BackupOutcome::Done: Say(Message::BackupWritten, {target}); return kDone;
        case BackupOutcome::Damaged: Say(Message::LibraryDamaged, {library}); return kLibraryUnusable;
        case BackupOutcome::Busy: Say(Message::LibraryBusy, {library}); return kLibraryUnusable;
        case BackupOutcome::WriteFailed:
        case BackupOutcome::Stopped: Say(Message::BackupNotWritten, {target}); return kNotWritten;
        case BackupOutcome::Unreadable: break;
    }
    Say(Message::CannotOpenLibrary, {library});
    return kLibraryUnusable;
}

bool Run::ValidFolders(const std::u16string& from, const std::u16string& to, int& exit) {
    const FolderPrefix old(from), moved(to);
    const std::u16string& empty = !old.Valid() ? from : to;
    if (!old.Valid() || !moved.Valid()) {
        exit = BadArguments(Message::EmptyFolder, {empty});
        return false;
    }
    // One inside the other (not the same folder written in other letter case).
    if (old.Encloses(moved) != moved.Encloses(old)) {
        exit = BadArguments(Message::NestedFolders, {from, to});
        return false;
    }
    return true;
}

int Run::RelinkFolders() {
    int exit = kDone;
    if (!ValidFolders(request_.operands[0], request_.operands[1], exit)) return exit;
    OwnDatabase library;
    if ((exit = OpenLibrary(SQLITE_OPEN_READWRITE, library)) != kDone) return exit;
    const FolderPrefix from(request_.operands[0]), to(request_.operands[1]);
    const RelinkReport report = Relink(library.get(), from, to, request_.apply, Progress(Message::ProgressRelinking));
    EndProgress();
    if (report.outcome != LibraryWork::Done) {
        Say(report.outcome == LibraryWork::Busy ? Message::LibraryBusy : Message::LibraryDamaged, {LibraryPath()});
        return kLibraryUnusable;
    }
    if (report.changes.empty()) {
        Say(Message::RelinkNothing, {from.Text()});
        return kNothingToDo;
    }
    for (const RelinkChange& change : report.changes)
        Say(change.merge ? Message::RelinkMergeChange : Message::RelinkChange, {Wide(change.from), Wide(change.to)});
    const Message summary = request_.apply ? Message::RelinkChanged : Message::RelinkWouldChange;
    Say(summary, {Number(report.changes.size()), Number(report.merged)});
    if (!request_.apply) Say(Message::DryRunHint);
    return kDone;
}

int Run::Restore() {
    int exit = kDone;
    RestoreRequest restore;
    if (request_.from) {
        if (!ValidFolders(*request_.from, *request_.to, exit)) return exit;
        restore.mapping.emplace(FolderPrefix(*request_.from), FolderPrefix(*request_.to));
    }
    restore.addMissing = request_.addMissing;
    restore.apply = request_.apply;
    const std::u16string& backupPath = request_.operands[0];
    OwnDatabase backup =
        OpenOwnDatabase(platform::Utf16ToUtf8(backupPath), SQLITE_OPEN_READONLY, environment_.busyTimeoutMs);
    if (!backup || !PassesQuickCheck(backup.get())) {
        Say(backup ? Message::BackupDamaged : Message::CannotOpenBackup, {backupPath});
        return kLibraryUnusable;
    }
    OwnDatabase library;
    if ((exit = OpenLibrary(SQLITE_OPEN_READWRITE, library)) != kDone) return exit;
    const RestoreReport report =
        RestorePlays(library.get(), backup.get(), restore, Progress(Message::ProgressRestoring));
    EndProgress();
    return ReportRestore(report);
}

int Run::ReportRestore(const RestoreReport& report) {
    if (report.outcome != LibraryWork::Done) {
        Say(report.outcome == LibraryWork::Busy ? Message::LibraryBusy : Message::LibraryDamaged, {LibraryPath()});
        return kLibraryUnusable;
    }
    for (const std::string& name : report.unmatched) Say(Message::RestoreUnmatched, {Wide(name)});
    const bool apply = request_.apply;
    Say(apply ? Message::RestoreChanged : Message::RestoreWouldChange,
        {Number(report.updated), Number(report.unchanged)});
    if (report.added > 0) Say(apply ? Message::RestoreAdded : Message::RestoreWouldAdd, {Number(report.added)});
    else if (!report.unmatched.empty()) Say(Message::RestoreNothing, {Number(report.unmatched.size())});
    if (!report.WorkFound()) return kNothingToDo;
    if (!apply) Say(Message::DryRunHint);
    return kDone;
}

// The file system as the purge sees it.
class PlatformFiles final : public ExistenceTester {
public:
    bool PathExists(std::u16string_view path) override { return platform::PathExists(path); }
    bool VolumeReachable(std::u16string_view root) override { return platform::VolumeReachable(root); }
};

}  // namespace

int RunTool(const std::vector<std::u16string>& arguments, const Environment& environment, Console& console) {
    try {
        const Parsed parsed = ParseArguments(arguments, environment.language);
        if (!parsed.error.empty()) {
            console.Line(Text(Message::BadArguments, environment.language, {parsed.error}));
            console.Line(Text(Message::Usage, environment.language));
            return kBadArguments;
        }
        PlatformFiles files;
        Environment settled = environment;
        if (settled.files == nullptr) settled.files = &files;
        return Run(parsed.request, settled, console).Dispatch();
    } catch (...) {
        // Out of memory, most likely: nothing was committed.
        console.Line(Text(Message::CannotOpenLibrary, environment.language, {environment.defaultLibrary}));
        return kLibraryUnusable;
    }
}

}  // namespace vellum::tool
