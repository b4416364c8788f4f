// The plugin's work with file operations failing in turn (fault_vfs.h), as
// SQLite's own I/O-error tests run: a full disk or an I/O error at the 1st
// write, sync, lock, open or delete, then the 2nd, the 3rd, ... until a run
// meets no fault; once with only that operation failing and once with it and
// every later one failing (a disk that stays full), on the library's files
// alone and on every file, the store's included; and on the store alone while
// the library cannot be written, or after one of its writes failed.
//
// A run opens a library, registers tracks, credits plays, removes a track
// and runs a batch of adds and one of removals. Then, with the fault cured,
// the connection lands what waits and closes, and a fresh connection shows
// the rows: every piece of work that was acknowledged is there exactly once,
// nothing else is, and the file is sound. The files as they were when the
// last call returned, still faulted (what a kill then would leave), are opened
// as well: what the store held lands exactly once there too.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fault_vfs.h"
#include "library/connection.h"
#include "maintenance/batch_worker.h"
#include "maintenance/pending_work.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "temp_database.h"
#include "temp_folder.h"

namespace vellum {
namespace {

namespace fs = std::filesystem;
using Outcome = LibraryConnection::Outcome;
using Rows = std::map<std::string, int>;  // file_name: playcount

constexpr char kLibraryName[] = "vellumdb.db";
constexpr std::int32_t kEnded = 1700000000;

class NullSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override { return true; }
    void Finished() override {}
};

bool Acknowledged(Outcome outcome) { return outcome == Outcome::Written || outcome == Outcome::Waiting; }

std::string Url(const std::string& name) { return "http://radio/" + name; }

// What the scenario's calls answered.
struct Answers {
    bool opened = false;
    Outcome registeredA = Outcome::Closed;
    Outcome registeredB = Outcome::Closed;
    Outcome removedKept1 = Outcome::Closed;
    std::map<std::string, int> credits;  // the credits that returned true, by name
};

// Every file of `from` copied into `to`.
void CopyFiles(const std::string& from, const std::string& to) {
    std::error_code error;
    for (const fs::directory_entry& file : fs::directory_iterator(from, error))
        if (file.is_regular_file(error))
            fs::copy_file(file.path(), fs::path(to) / file.path().filename(), fs::copy_options::overwrite_existing,
                          error);
}

void RemoveFiles(const std::string& folder) {
    std::error_code error;
    for (const fs::directory_entry& file : fs::directory_iterator(folder, error)) fs::remove(file.path(), error);
}

// The first column of the first row of `sql` on the file at `path`, opened
// without the plugin.
std::string Verdict(const std::string& path, const char* sql) {
    sqlite3* opened = nullptr;
    sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
    DatabaseOwner database(opened);
    Statement check(database.get(), sql);
    if (check.Get() == nullptr || sqlite3_step(check.Get()) != SQLITE_ROW) return sqlite3_errmsg(database.get());
    const unsigned char* text = sqlite3_column_text(check.Get(), 0);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
}

class FileFaultTest : public ::testing::Test {
protected:
    // The library every run starts from: kept0 with one play, kept1, kept2.
    void SetUp() override {
        ASSERT_FALSE(seed_.path().empty());
        ASSERT_FALSE(run_.path().empty());
        ASSERT_FALSE(killed_.path().empty());
        LibraryConnection library;
        ASSERT_TRUE(library.Open(seed_.path() + "/" + kLibraryName));
        for (const char* name : {"kept0", "kept1", "kept2"}) ASSERT_EQ(Register(library, name), Outcome::Written);
        ASSERT_TRUE(CreditCompletedPlay(library, platform::Utf8ToUtf16(Url("kept0")), kEnded));
        library.Close();
    }

    Outcome Register(LibraryConnection& library, const std::string& name) {
        return RegisterFile(ProbeContext{audio_, nullptr}, library, 0, platform::Utf8ToUtf16(Url(name)), 0);
    }
    void Credit(const std::string& name) {
        if (CreditCompletedPlay(*library_, platform::Utf8ToUtf16(Url(name)), kEnded)) ++answers_.credits[name];
    }
    void Batch(BatchMode mode, std::initializer_list<const char*> names) {
        BatchPathList paths;
        for (const char* name : names) paths.Append(platform::Utf8ToUtf16(Url(name)));
        const ProbeContext probe{audio_, nullptr};
        NullSink sink;
        EXPECT_EQ(RunBatch(BatchJob{mode, paths, *library_, probe}, sink), names.size());
    }

    // The plugin's work, run with the fault armed.
    void Scenario() {
        answers_.opened = library_->Open(LibraryPath());
        answers_.registeredA = Register(*library_, "a");
        answers_.registeredB = Register(*library_, "b");
        Credit("kept0");
        Credit("a");
        Credit("b");
        answers_.removedKept1 = RemoveTrack(*library_, Url("kept1"));
        library_->LandWaitingWork(std::chrono::milliseconds(0));  // one try, on this thread
        Credit("kept0");
        Batch(BatchMode::Add, {"n0", "n1", "n2"});
        Batch(BatchMode::Remove, {"kept2", "b"});
        Credit("a");
    }

    // The rows the answers promise.
    Rows Promised() const {
        Rows rows{{Url("kept0"), 1 + Count("kept0")}, {Url("kept1"), 0}, {Url("kept2"), 0}};
        if (!answers_.opened) return rows;
        if (Acknowledged(answers_.registeredA)) rows[Url("a")] = Count("a");
        if (Acknowledged(answers_.removedKept1)) rows.erase(Url("kept1"));
        rows.erase(Url("kept2"));
        for (const char* name : {"n0", "n1", "n2"}) rows[Url(name)] = 0;
        return rows;
    }
    int Count(const std::string& name) const {
        const auto found = answers_.credits.find(name);
        return found != answers_.credits.end() ? found->second : 0;
    }

    // The rows a fresh connection shows once what waits has landed; checks
    // that nothing waits after and the file is sound.
    static Rows Landed(const std::string& path) {
        Rows rows;
        LibraryConnection library;
        EXPECT_TRUE(library.Open(path));
        EXPECT_TRUE(library.LandWaitingWork(kGenerousWait));
        EXPECT_EQ(library.WaitingCount(), 0u);
        EXPECT_EQ(library.ReadWith([&rows](sqlite3* writer) {
            rows.clear();
            Statement read(writer, "SELECT file_name, playcount FROM list");
            if (read.Get() == nullptr) return sqlite3_errcode(writer);
            int rc;
            while ((rc = sqlite3_step(read.Get())) == SQLITE_ROW)
                rows[reinterpret_cast<const char*>(sqlite3_column_text(read.Get(), 0))] =
                    sqlite3_column_int(read.Get(), 1);
            return rc;
        }),
                  SQLITE_DONE);
        library.Close();
        EXPECT_EQ(Verdict(path, "PRAGMA integrity_check"), "ok");
        return rows;
    }

    // The files a kill would leave now: copied while the connection's lock
    // is held, so no write of the plugin's is half done.
    void KeepFilesOfAKill() {
        RemoveFiles(killed_.path());
        if (library_->ReadWith([this](sqlite3*) {
                CopyFiles(run_.path(), killed_.path());
                return SQLITE_OK;
            }) == SQLITE_MISUSE)
            CopyFiles(run_.path(), killed_.path());
    }

    // One run; true when the fault was met.
    bool RunOnce(const testing::FileFault& fault, int successes, bool persistent, bool killKeepsAll) {
        SCOPED_TRACE((persistent ? "every operation from #" : "operation #") + std::to_string(successes + 1) +
                     " failing");
        RemoveFiles(run_.path());
        fs::copy_file(seed_.path() + "/" + kLibraryName, LibraryPath());
        answers_ = Answers();
        library_ = std::make_unique<LibraryConnection>();
        testing::ArmFileFault(fault, successes, persistent);
        Scenario();
        KeepFilesOfAKill();
        testing::DisarmFileFault();
        const bool faulted = testing::FileFaultInjected();
        const Rows promised = Promised();
        if (answers_.opened) {
            EXPECT_TRUE(library_->LandWaitingWork(kGenerousWait));
        }
        library_.reset();
        EXPECT_EQ(Landed(LibraryPath()), promised);
        const std::string store = StorePath();
        if (fs::exists(store)) {
            EXPECT_EQ(Verdict(store, "PRAGMA integrity_check"), "ok");
        }

        const std::string killedPath = killed_.path() + "/" + kLibraryName;
        const Rows afterKill = Landed(killedPath);
        EXPECT_EQ(Landed(killedPath), afterKill) << "landed twice";
        if (killKeepsAll) {
            EXPECT_EQ(afterKill, promised) << "the store was writable throughout";
        } else {
            ExpectNoneDoubledNorInvented(afterKill);
        }
        if (!faulted) {
            const Answers& a = answers_;
            EXPECT_TRUE(a.opened && Acknowledged(a.registeredA) && Acknowledged(a.registeredB) &&
                        Acknowledged(a.removedKept1) && Count("kept0") == 2 && Count("a") == 2 && Count("b") == 1)
                << "without a fault every call succeeds";
        }
        return faulted;
    }

    // With the store unwritable, acknowledged work held in memory dies with
    // a kill; what did land is there once, and nothing unacknowledged is.
    void ExpectNoneDoubledNorInvented(const Rows& rows) const {
        Rows most{{Url("kept0"), 1 + Count("kept0")}, {Url("kept1"), 0}, {Url("kept2"), 0}};
        if (answers_.opened) {
            if (Acknowledged(answers_.registeredA)) most[Url("a")] = Count("a");
            if (Acknowledged(answers_.registeredB)) most[Url("b")] = Count("b");
            for (const char* name : {"n0", "n1", "n2"}) most[Url(name)] = 0;
        }
        EXPECT_EQ(rows.count(Url("kept0")), 1u);
        for (const auto& [name, plays] : rows) {
            const auto allowed = most.find(name);
            if (allowed == most.end()) {
                ADD_FAILURE() << name << " was never acknowledged";
            } else {
                EXPECT_LE(plays, allowed->second) << name << " credited more often than acknowledged";
            }
        }
    }

    struct Loop {
        const char* name;
        testing::FileFault fault;
        // Whether the files a kill leaves must hold every acknowledged piece
        // of work: they must when the store could be written throughout.
        bool killKeepsAll;
    };
    static testing::FileFault Fault(unsigned operations, int code, std::string prefix) {
        testing::FileFault fault;
        fault.operations = operations;
        fault.code = code;
        fault.prefix = std::move(prefix);
        return fault;
    }
    Loop OnLibrary(unsigned operations, int code) const {
        return Loop{"the library's files", Fault(operations, code, LibraryPath()), true};
    }
    Loop OnEveryFile(unsigned operations, int code) const {
        return Loop{"every file", Fault(operations, code, run_.path() + "/"), false};
    }
    // The library's writes fail throughout, so that the work goes to the
    // store, whose operations fail in turn.
    Loop OnStoreOfAnUnwritableLibrary(unsigned operations, int code) const {
        Loop loop{"the store, the library unwritable", Fault(operations, code, StorePath()), false};
        loop.fault.failingOperations = testing::kFileWrite;
        loop.fault.failingPrefix = LibraryPath();
        return loop;
    }
    // The library's first write fails, so that the first registration goes
    // to the store and the rest follows it there and lands from it; the
    // store's operations fail in turn, on whichever thread lands.
    Loop OnStoreOfALibraryThatFailedOnce(unsigned operations, int code) const {
        Loop loop{"the store, one library write failed", Fault(operations, code, StorePath()), false};
        loop.fault.failingOperations = testing::kFileWrite;
        loop.fault.failingPrefix = LibraryPath();
        loop.fault.failingTimes = 1;
        loop.fault.everyThread = true;
        return loop;
    }

    // Runs until a run meets no fault; returns the runs that met one.
    int FailEachInTurn(const Loop& loop, bool persistent) {
        constexpr int kCap = 5000;  // a guard against a scenario that never ends, not a bound
        for (int successes = 0; successes < kCap; ++successes) {
            if (!RunOnce(loop.fault, successes, persistent, loop.killKeepsAll)) return successes;
            if (HasFailure()) return successes;
        }
        ADD_FAILURE() << "still faulted after " << kCap << " operations";
        return kCap;
    }

    // Each loop once with only the counted operation failing, then with every
    // later one failing too; the fault points each reached, in that order.
    std::vector<int> FailEachInTurn(const std::vector<Loop>& loops) {
        std::vector<int> reached;
        for (bool persistent : {false, true}) {
            for (const Loop& loop : loops) {
                SCOPED_TRACE(std::string("faults on ") + loop.name);
                const auto started = std::chrono::steady_clock::now();
                reached.push_back(FailEachInTurn(loop, persistent));
                const auto took =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
                std::printf("[ file faults ] %s on %s, %s: %d fault points, %lld ms\n", sqlite3_errstr(loop.fault.code),
                            loop.name, persistent ? "persistent" : "once", reached.back(),
                            static_cast<long long>(took.count()));
                if (HasFailure()) return reached;
            }
        }
        return reached;
    }

    std::string LibraryPath() const { return run_.path() + "/" + kLibraryName; }
    std::string StorePath() const { return run_.path() + "/vellumdb-pending.db"; }

    testing::FaultVfsScope vfs_;
    AudioLibrary audio_{};
    TempFolder seed_, run_, killed_;
    std::unique_ptr<LibraryConnection> library_;
    Answers answers_;
};

constexpr unsigned kWrites = testing::kFileWrite | testing::kFileTruncate;
constexpr unsigned kStoreOperations =
    kWrites | testing::kFileSync | testing::kFileLock | testing::kFileOpen | testing::kFileDelete;

TEST_F(FileFaultTest, AFullDiskAtAnyWriteLosesAndDoublesNothing) {
    for (int reached : FailEachInTurn({OnLibrary(kWrites, SQLITE_FULL), OnEveryFile(kWrites, SQLITE_FULL)}))
        EXPECT_GT(reached, 0);
}

TEST_F(FileFaultTest, AnIoErrorAtAnyWriteLosesAndDoublesNothing) {
    for (int reached : FailEachInTurn({OnLibrary(kWrites, SQLITE_IOERR), OnEveryFile(kWrites, SQLITE_IOERR)}))
        EXPECT_GT(reached, 0);
}

TEST_F(FileFaultTest, AFailedSyncLosesAndDoublesNothing) {
    for (int reached :
         FailEachInTurn({OnLibrary(testing::kFileSync, SQLITE_IOERR), OnEveryFile(testing::kFileSync, SQLITE_IOERR)}))
        EXPECT_GT(reached, 0);
}

TEST_F(FileFaultTest, AFailedLockLosesAndDoublesNothing) {
    for (int reached :
         FailEachInTurn({OnLibrary(testing::kFileLock, SQLITE_IOERR), OnEveryFile(testing::kFileLock, SQLITE_IOERR)}))
        EXPECT_GT(reached, 0);
}

// A journal that cannot be created or deleted: a commit whose journal stays
// behind is rolled back by the next reader, so it never happened.
TEST_F(FileFaultTest, AFileThatCannotBeOpenedOrDeletedLosesAndDoublesNothing) {
    constexpr unsigned kOpenOrDelete = testing::kFileOpen | testing::kFileDelete;
    for (int reached :
         FailEachInTurn({OnLibrary(kOpenOrDelete, SQLITE_IOERR), OnEveryFile(kOpenOrDelete, SQLITE_IOERR)}))
        EXPECT_GT(reached, 0);
}

// Everything waits in the store while the library cannot be written; the
// store's own appends, syncs, locks and files then fail in turn.
TEST_F(FileFaultTest, AStoreThatFailsWhileTheLibraryCannotBeWrittenLosesAndDoublesNothing) {
    for (int reached : FailEachInTurn({OnStoreOfAnUnwritableLibrary(kWrites | testing::kFileSync, SQLITE_FULL),
                                       OnStoreOfAnUnwritableLibrary(kStoreOperations, SQLITE_IOERR)}))
        EXPECT_GT(reached, 0);
}

// Work waits in the store behind one failed commit and lands from it while
// the store's appends, reads and clean-ups fail in turn: a clean-up that fails
// after its entries landed must not land them again.
TEST_F(FileFaultTest, AStoreThatFailsWhileItsWorkLandsLosesAndDoublesNothing) {
    for (int reached : FailEachInTurn({OnStoreOfALibraryThatFailedOnce(kWrites | testing::kFileSync, SQLITE_FULL),
                                       OnStoreOfALibraryThatFailedOnce(kStoreOperations, SQLITE_IOERR)}))
        EXPECT_GT(reached, 0);
}

// A library that cannot be written from the first play on until after
// shut-down: Close gives up after its wait, and everything acknowledged lands
// at the next start, once.
TEST_F(FileFaultTest, WorkThatCannotLandByShutDownLandsOnceAtTheNextStart) {
    fs::copy_file(seed_.path() + "/" + kLibraryName, LibraryPath());
    library_ = std::make_unique<LibraryConnection>();
    testing::ArmFileFault(Fault(kWrites, SQLITE_FULL, LibraryPath()), 0, true);
    ASSERT_TRUE(library_->Open(LibraryPath()));
    EXPECT_EQ(Register(*library_, "a"), Outcome::Waiting);
    Credit("kept0");
    Credit("a");
    Credit("kept0");
    EXPECT_EQ(RemoveTrack(*library_, Url("kept1")), Outcome::Waiting);
    Batch(BatchMode::Add, {"n0"});
    EXPECT_EQ(Count("kept0"), 2);
    EXPECT_EQ(Count("a"), 1);
    library_->Close();
    EXPECT_TRUE(testing::FileFaultInjected());
    testing::DisarmFileFault();
    const Rows promised{{Url("a"), 1}, {Url("kept0"), 3}, {Url("kept2"), 0}, {Url("n0"), 0}};
    EXPECT_EQ(Landed(LibraryPath()), promised);
    EXPECT_EQ(Landed(LibraryPath()), promised) << "landed twice";
}

// Every lock of the library failing from before Open until after Close, as
// when another program holds it exclusively all that time; the store can be
// written throughout. The credit and the registration are acknowledged as
// waiting, so they must land at the next start.
TEST_F(FileFaultTest, WorkAcknowledgedBeforeTheLibraryCouldBeReadSurvivesAShutDown) {
    fs::copy_file(seed_.path() + "/" + kLibraryName, LibraryPath());
    LibraryConnection library;
    testing::ArmFileFault(Fault(testing::kFileLock, SQLITE_IOERR, LibraryPath()), 0, true);
    ASSERT_TRUE(library.Open(LibraryPath()));
    EXPECT_TRUE(CreditCompletedPlay(library, platform::Utf8ToUtf16(Url("kept0")), kEnded));
    EXPECT_EQ(Register(library, "a"), Outcome::Waiting);
    library.Close();
    testing::DisarmFileFault();
    EXPECT_EQ(Landed(LibraryPath()), (Rows{{Url("a"), 0}, {Url("kept0"), 2}, {Url("kept1"), 0}, {Url("kept2"), 0}}));
}

}  // namespace
}  // namespace vellum
