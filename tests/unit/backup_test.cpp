// Backups: a copy taken while others write and read is the library at one
// moment; a full disk, a damaged library or a stop never leave a partial file
// nor cost an older backup; the daily scheduler's names, its once a day and
// its pruning to the newest three.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

#include "filling_vfs.h"
#include "library_file.h"
#include "maintenance/backup.h"
#include "maintenance/backup_scheduler.h"

namespace vellum {
namespace {

namespace fs = std::filesystem;

// Thursday 2026-12-03, 09:11:30.
constexpr VellumSystemTime kToday = {2026, 12, 4, 3, 9, 11, 30, 0};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Fill(const LibraryFile& library, int rows) {
    library.Exec("BEGIN");
    for (int i = 1; i <= rows; ++i)
        library.Insert("D:\\m\\" + std::to_string(i) + ".flac", {i, i, 0}, std::string(200, 't'));
    library.Exec("COMMIT");
}

// Rows whose counts are their order of insertion 1..n with no gap: the copy
// of a library written that way is consistent exactly when this holds.
std::string Sequence(sqlite3* database) {
    return FirstText(database,
                     "SELECT count(*) = max(playcount) AND count(DISTINCT playcount) = count(*) "
                     "AND min(playcount) = 1 FROM list");
}

// Three writers, each adding rows numbered by the count before them inside
// its own write transaction, and a reader that holds a read lock on and off.
class BusyLibrary {
public:
    explicit BusyLibrary(const std::string& path) {
        for (int i = 0; i < 3; ++i) threads_.emplace_back([this, path, i] { Write(path, i); });
        threads_.emplace_back([this, path] { Read(path); });
    }
    ~BusyLibrary() {
        stop_ = true;
        for (std::thread& thread : threads_) thread.join();
    }
    int Written() const { return written_; }

private:
    void Write(const std::string& path, int writer) {
        OwnDatabase database = OpenOwnDatabase(path, SQLITE_OPEN_READWRITE, 20000);
        ExecOwn(database.get(), "PRAGMA synchronous = OFF");
        for (int n = 0; !stop_; ++n) {
            const std::string sql = "BEGIN IMMEDIATE; INSERT INTO list(file_name, file_title, playcount) SELECT 'w" +
                                    std::to_string(writer) + "-" + std::to_string(n) + "', '" + std::string(300, 'x') +
                                    "', count(*) + 1 FROM list; COMMIT";
            if (ExecOwn(database.get(), sql.c_str()) == SQLITE_OK) ++written_;
            else ExecOwn(database.get(), "ROLLBACK");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void Read(const std::string& path) {
        OwnDatabase database = OpenOwnDatabase(path, SQLITE_OPEN_READONLY, 20000);
        while (!stop_) {
            ExecOwn(database.get(), "BEGIN");
            FirstText(database.get(), "SELECT count(*) FROM list");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ExecOwn(database.get(), "COMMIT");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> written_{0};
    std::vector<std::thread> threads_;
};

TEST(Backup, ACopyTakenWhileOthersWriteAndReadIsTheLibraryAtOneMoment) {
    LibraryFile library;
    Fill(library, 3000);
    const std::string target = library.Folder() + "/copy.db";
    BackupSettings settings;
    settings.pagesPerStep = 8;
    long long rowsBefore = 0;
    int writtenDuring = 0;
    BackupOutcome outcome;
    {
        BusyLibrary busy(library.Path());
        while (busy.Written() < 30) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        rowsBefore = library.Count();
        const int writtenBefore = busy.Written();
        outcome = CopyLibrary(library.WidePath(), platform::Utf8ToUtf16(target), StopSignal(), settings);
        writtenDuring = busy.Written() - writtenBefore;
    }
    ASSERT_EQ(outcome, BackupOutcome::Done);
    EXPECT_GT(writtenDuring, 0) << "the writers were held off for the whole copy";
    OwnDatabase copy = OpenOwnDatabase(target, SQLITE_OPEN_READONLY, 0);
    ASSERT_TRUE(copy && PassesQuickCheck(copy.get()));
    EXPECT_EQ(Sequence(copy.get()), "1");
    EXPECT_GE(std::stoll(FirstText(copy.get(), "SELECT count(*) FROM list")), rowsBefore);
    EXPECT_EQ(Sequence(library.Get()), "1");
    EXPECT_FALSE(fs::exists(target + ".partial"));
}

TEST(Backup, ADiskThatFillsLeavesNoPartialFileAndKeepsTheOlderBackups) {
    LibraryFile library;
    Fill(library, 2000);
    const FillingVfs fullDisk("vellum-filling", 64 * 1024);
    ScheduleSettings settings;
    settings.now = [] { return kToday; };
    settings.copy.targetVfs = fullDisk.Name();
    BackupScheduler scheduler(library.WidePath(), settings);
    const std::string folder = library.Folder() + "/vellumdb-backups";
    fs::create_directory(folder);
    fs::copy_file(library.Path(), folder + "/vellumdb-2026-12-07.db");
    fs::copy_file(library.Path(), folder + "/vellumdb-2026-12-08.db");
    const std::string older = Bytes(folder + "/vellumdb-2026-12-08.db");

    EXPECT_EQ(scheduler.MakeTodaysBackup(), DailyBackup::Failed);
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"vellumdb-2026-12-07.db", "vellumdb-2026-12-08.db"}));
    EXPECT_EQ(Bytes(folder + "/vellumdb-2026-12-08.db"), older);

    // A copy on request over an existing file keeps that file as it was.
    const std::u16string named = platform::Utf8ToUtf16(folder + "/vellumdb-2026-12-08.db");
    EXPECT_EQ(CopyLibrary(library.WidePath(), named, StopSignal(), settings.copy), BackupOutcome::WriteFailed);
    EXPECT_EQ(Bytes(folder + "/vellumdb-2026-12-08.db"), older);
    EXPECT_EQ(FilesIn(folder).size(), 2u);
}

TEST(Backup, ADamagedOrForeignLibraryIsNeverCopied) {
    LibraryFile library;
    Fill(library, 2000);
    const std::string damaged = library.Folder() + "/damaged.db";
    fs::copy_file(library.Path(), damaged);
    {
        std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096 * 5);
        file << std::string(4096 * 3, '\x5a');
    }
    const std::string target = library.Folder() + "/copy.db";
    const std::u16string wideTarget = platform::Utf8ToUtf16(target);
    EXPECT_EQ(CopyLibrary(platform::Utf8ToUtf16(damaged), wideTarget, StopSignal(), {}), BackupOutcome::Damaged);
    const std::string text = library.Folder() + "/notes.db";
    std::ofstream(text) << std::string(5000, 'n');
    EXPECT_EQ(CopyLibrary(platform::Utf8ToUtf16(text), wideTarget, StopSignal(), {}), BackupOutcome::Unreadable);
    EXPECT_EQ(CopyLibrary(platform::Utf8ToUtf16(library.Folder() + "/absent.db"), wideTarget, StopSignal(), {}),
              BackupOutcome::Unreadable);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(target + ".partial"));
    // Nor is a copy moved over the library itself, however its name is written.
    const std::string before = Bytes(library.Path());
    const std::u16string itself = platform::Utf8ToUtf16(library.Folder() + "/./vellumdb.db");
    EXPECT_EQ(CopyLibrary(library.WidePath(), itself, StopSignal(), {}), BackupOutcome::WriteFailed);
    EXPECT_EQ(Bytes(library.Path()), before);
}

TEST(Backup, AStopMidCopyLeavesNothingBehind) {
    LibraryFile library;
    Fill(library, 2000);
    const std::string target = library.Folder() + "/copy.db";
    StopSignal stop;
    BackupSettings settings;
    settings.pagesPerStep = 4;
    std::size_t steps = 0;
    const BackupOutcome outcome =
        CopyLibrary(library.WidePath(), platform::Utf8ToUtf16(target), stop, settings, [&](std::size_t, std::size_t) {
            if (++steps == 3) stop.Raise();
        });
    EXPECT_EQ(outcome, BackupOutcome::Stopped);
    EXPECT_EQ(FilesIn(library.Folder()), std::vector<std::string>{"vellumdb.db"});
}

TEST(BackupScheduler, OneBackupADayTheNewestThreeKeptOtherFilesLeftAlone) {
    LibraryFile library;
    Fill(library, 100);
    VellumSystemTime day = kToday;
    ScheduleSettings settings;
    settings.now = [&day] { return day; };
    BackupScheduler scheduler(library.WidePath(), settings);
    const std::string folder = library.Folder() + "/vellumdb-backups";
    fs::create_directory(folder);
    for (const char* name : {"vellumdb-2026-11-30.db", "vellumdb-2026-12-01.db", "vellumdb-2026-12-02.db",
                             "vellumdb-2026-12-01-120000.db", "notes.txt", "vellumdb-2026-12-02.db.partial"})
        std::ofstream(folder + "/" + name) << "x";

    EXPECT_EQ(scheduler.MakeTodaysBackup(), DailyBackup::Made);
    EXPECT_EQ(FilesIn(folder),
              (std::vector<std::string>{"notes.txt", "vellumdb-2026-12-01-120000.db", "vellumdb-2026-12-01.db",
                                        "vellumdb-2026-12-02.db", "vellumdb-2026-12-03.db"}));
    OwnDatabase copy = OpenOwnDatabase(folder + "/vellumdb-2026-12-03.db", SQLITE_OPEN_READONLY, 0);
    EXPECT_EQ(FirstText(copy.get(), "SELECT count(*) FROM list"), "100");

    library.Insert("D:\\later.flac");
    EXPECT_EQ(scheduler.MakeTodaysBackup(), DailyBackup::AlreadyMade);
    day.wDay = 4;
    EXPECT_EQ(scheduler.MakeTodaysBackup(), DailyBackup::Made);
    EXPECT_EQ(FilesIn(folder),
              (std::vector<std::string>{"notes.txt", "vellumdb-2026-12-01-120000.db", "vellumdb-2026-12-02.db",
                                        "vellumdb-2026-12-03.db", "vellumdb-2026-12-04.db"}));
}

TEST(BackupScheduler, ADamagedLibrarySkipsTheDayAndKeepsTheOlderBackups) {
    LibraryFile library;
    Fill(library, 2000);
    ScheduleSettings settings;
    settings.now = [] { return kToday; };
    const std::string folder = library.Folder() + "/vellumdb-backups";
    fs::create_directory(folder);
    for (const char* name : {"vellumdb-2026-11-30.db", "vellumdb-2026-12-01.db", "vellumdb-2026-12-02.db"})
        fs::copy_file(library.Path(), folder + "/" + name);
    {
        std::fstream file(library.Path(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096 * 5);
        file << std::string(4096 * 3, '\x5a');
    }
    BackupScheduler scheduler(library.WidePath(), settings);
    EXPECT_EQ(scheduler.MakeTodaysBackup(), DailyBackup::Skipped);
    EXPECT_EQ(FilesIn(folder).size(), 3u);
}

TEST(BackupScheduler, RunEndsSoonAfterStopEvenBeforeItsFirstLook) {
    LibraryFile library;
    ScheduleSettings settings;
    settings.startDelay = std::chrono::hours(1);
    auto scheduler = std::make_shared<BackupScheduler>(library.WidePath(), settings);
    std::future<void> running = std::async(std::launch::async, [scheduler] { scheduler->Run(); });
    scheduler->Stop();
    EXPECT_EQ(running.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

TEST(BackupNames, FollowTheLibrarysNameAndTheLocalDate) {
    EXPECT_EQ(BackupFolderFor(u"C:\\Player\\Plugins\\vellumdb.db"), u"C:\\Player\\Plugins\\vellumdb-backups");
    EXPECT_EQ(DailyBackupName(u"vellumdb", kToday), u"vellumdb-2026-12-03.db");
    EXPECT_EQ(TimedBackupName(u"vellumdb", kToday), u"vellumdb-2026-12-03-091130.db");
    EXPECT_TRUE(IsDailyBackupName(u"vellumdb", u"vellumdb-2026-12-03.db"));
    EXPECT_FALSE(IsDailyBackupName(u"vellumdb", u"vellumdb-2026-12-03-091130.db"));
    EXPECT_FALSE(IsDailyBackupName(u"vellumdb", u"vellumdb-2026-12-0x.db"));
    EXPECT_FALSE(IsDailyBackupName(u"vellumdb", u"other-2026-12-03.db"));
}

}  // namespace
}  // namespace vellum
