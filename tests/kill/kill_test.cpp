// Kill trials: a child process does the plugin's work on a library (play
// starts, play credits, additions, removals, small batches) while another
// connection takes read and write locks at random, and is killed with SIGKILL
// at a random moment: by the parent at a random time, or by itself at a random
// step of its file traffic (kill_point.h). The parent then opens the library
// as the next start would and checks that every piece of work the child was
// told was done is there exactly once, in the order it was done.
//
// The child reports each call on a pipe twice: before it starts and after it
// has returned. So the parent knows every acknowledged call, and the one call
// (if any) that was running when the kill came, which may have landed or not.
//
// Each trial has its own seed, printed on failure. To run one trial again:
//   VELLUM_KILL_SEED=<seed> VELLUM_KILL_TRIALS=1 vellum_kill_tests --gtest_filter='*/0'
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "library/connection.h"
#include "library/statement.h"
#include "maintenance/batch_worker.h"
#include "maintenance/pending_work.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "kill_point.h"
#include "temp_folder.h"

namespace vellum {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Few paths, so that every kind of work meets every other on the same rows.
constexpr int kPaths = 6;
// How long the parent waits for something that normally comes at once: a
// bound for a stuck child, never a budget the code has to meet.
constexpr auto kGenerousWait = 60s;
constexpr int kTrialsPerShard = 50;
constexpr int kShards = 4;
// The trials that kill themselves do so at a step drawn from 1 to this, or
// after a commit drawn from 1 to that: about the file traffic of the first few
// hundred milliseconds of work.
constexpr long kMostKillSteps = 400;
constexpr long kMostKillCommits = 60;
// The row the lock-holding connection writes; not one of the work's paths.
constexpr char kForeignRow[] = "foreign://lock-holder";

std::string PathText(int index) { return "http://radio/station-" + std::to_string(index); }

enum class Op : std::uint8_t { Opened = 1, Register, Credit, Remove, BatchAdd, BatchRemove };
enum class Phase : std::uint8_t { Begin = 1, Done };

// One report on the pipe: eight bytes, so each write is atomic.
struct Report {
    Op op;
    Phase phase;
    std::uint8_t acknowledged;  // Done only: the call said the work is done or waits durably
    std::uint8_t unused;
    std::uint32_t paths;  // bit i: path i
};
static_assert(sizeof(Report) == 8);

const char* OpName(Op op) {
    switch (op) {
        case Op::Opened: return "open";
        case Op::Register: return "register";
        case Op::Credit: return "credit";
        case Op::Remove: return "remove";
        case Op::BatchAdd: return "batch-add";
        case Op::BatchRemove: return "batch-remove";
    }
    return "?";
}

// ---------------------------------------------------------------- the child

void Send(int fd, const Report& report) {
    const char* bytes = reinterpret_cast<const char*>(&report);
    std::size_t left = sizeof report;
    while (left > 0) {
        const ssize_t written = write(fd, bytes, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) _exit(3);  // the parent is gone
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
}

class CountingSink : public BatchProgressSink {
public:
    bool ItemStarting(std::size_t) override { return true; }
    void Finished() override { ++finished; }
    int finished = 0;
};

// Another program on the same file: holds a read lock (a stepped SELECT in an
// open transaction) or the write lock (BEGIN IMMEDIATE with a write of its
// own) for a random short time, rests a random short time, and again, until
// the process dies. A kill in the middle leaves its transaction in a hot
// journal, which the next opener rolls back.
void TakeLocks(const std::string& database, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    sqlite3* opened = nullptr;
    sqlite3_open_v2(database.c_str(), &opened, SQLITE_OPEN_READWRITE, kill_point::PlainVfsName());
    DatabaseOwner other(opened);
    if (other == nullptr) return;
    sqlite3_busy_timeout(other.get(), 5000);
    const std::string foreignWrite =
        std::string("INSERT OR REPLACE INTO list(file_name, playcount) VALUES('") + kForeignRow + "', 7)";
    auto exec = [&](const char* sql) { return sqlite3_exec(other.get(), sql, nullptr, nullptr, nullptr); };
    for (;;) {
        const int pick = static_cast<int>(random() % 10);
        // Mostly a few milliseconds; now and then long enough that work
        // queues up and a batch cannot have its transaction.
        const auto hold = std::chrono::milliseconds(pick == 0 ? 50 + random() % 250 : random() % 20);
        if (pick < 5) {
            if (exec("BEGIN") == SQLITE_OK) {
                {
                    Statement read(other.get(), "SELECT count(*) FROM list");
                    if (read.Get() != nullptr) sqlite3_step(read.Get());
                    std::this_thread::sleep_for(hold);
                }
                exec("COMMIT");
            }
        } else if (exec("BEGIN IMMEDIATE") == SQLITE_OK) {
            exec(foreignWrite.c_str());
            std::this_thread::sleep_for(hold);
            if (exec("COMMIT") != SQLITE_OK) exec("ROLLBACK");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 25));
    }
}

bool Acknowledged(LibraryConnection::Outcome outcome) {
    return outcome == LibraryConnection::Outcome::Written || outcome == LibraryConnection::Outcome::NoRow ||
           outcome == LibraryConnection::Outcome::Waiting;
}

// How a trial's child dies.
struct KillPlan {
    // 0: the parent kills it `after` the fork; otherwise it kills itself at
    // the nth of what `count` counts, or the parent kills it `after` the fork
    // if it has not come that far by then.
    long nth = 0;
    kill_point::Count count = kill_point::Count::Steps;
    std::chrono::milliseconds after{0};
    // Whether the parent waits for the child to open the library before it
    // starts the clock.
    bool afterOpen = false;
};

// One trial in eight is killed by the parent while the child is still opening
// the library, two at a random time after; two kill themselves at a random
// step of their file traffic and three right after a random commit.
KillPlan PlanKill(std::mt19937_64& random) {
    KillPlan plan;
    const int how = static_cast<int>(random() % 8);
    if (how == 0) {
        plan.after = std::chrono::milliseconds(random() % 15);
    } else if (how <= 2) {
        plan.after = std::chrono::milliseconds(random() % 400);
        plan.afterOpen = true;
    } else {
        plan.count = how <= 4 ? kill_point::Count::Steps : kill_point::Count::Commits;
        plan.nth = 1 + static_cast<long>(random() % (how <= 4 ? kMostKillSteps : kMostKillCommits));
        plan.after = 1500ms;
    }
    return plan;
}

// The child's whole life: opens the library and works on it until killed.
[[noreturn]] void RunChild(const std::string& database, std::uint64_t seed, const KillPlan& plan, int reports) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::mt19937_64 random(seed);
    if (plan.nth > 0) kill_point::Arm(plan.count, plan.nth);
    std::thread(TakeLocks, database, seed ^ 0x9e3779b97f4a7c15ULL).detach();

    LibraryConnection library;
    if (!library.Open(database)) _exit(4);
    Send(reports, Report{Op::Opened, Phase::Done, 1, 0, 0});

    const AudioLibrary audio{};  // URLs register without an audio library
    const ProbeContext probe{audio, nullptr};
    std::array<std::u16string, kPaths> paths;
    for (int i = 0; i < kPaths; ++i) paths[i] = platform::Utf8ToUtf16(PathText(i));

    const Clock::time_point stop = Clock::now() + 2 * kGenerousWait;  // a parent that forgot us
    while (Clock::now() < stop) {
        const int pick = static_cast<int>(random() % 100);
        const int index = static_cast<int>(random() % kPaths);
        Report report{Op::Register, Phase::Begin, 0, 0, 1u << index};
        if (pick < 30) {
            report.op = Op::Register;
            Send(reports, report);
            report.acknowledged = Acknowledged(RegisterFile(probe, library, 0, paths[index], 0));
        } else if (pick < 75) {
            report.op = Op::Credit;
            Send(reports, report);
            report.acknowledged = CreditCompletedPlay(library, paths[index], 1700000000 + pick);
        } else if (pick < 85) {
            report.op = Op::Remove;
            Send(reports, report);
            report.acknowledged = Acknowledged(RemoveTrack(library, PathText(index)));
        } else {
            report.op = pick < 95 ? Op::BatchAdd : Op::BatchRemove;
            report.paths = static_cast<std::uint32_t>(random() % ((1u << kPaths) - 1)) + 1;
            BatchPathList list;
            for (int i = 0; i < kPaths; ++i)
                if (report.paths & (1u << i)) list.Append(paths[i]);
            Send(reports, report);
            CountingSink sink;
            const std::size_t done = RunBatch(
                BatchJob{report.op == Op::BatchAdd ? BatchMode::Add : BatchMode::Remove, list, library, probe}, sink);
            report.acknowledged = done == list.Size() && sink.finished == 1;
        }
        report.phase = Phase::Done;
        Send(reports, report);
    }
    _exit(5);
}

// ---------------------------------------------------------------- the parent

struct Row {
    bool present = false;
    std::int64_t plays = 0;
    bool operator==(const Row& other) const { return present == other.present && (!present || plays == other.plays); }
};
using Rows = std::array<Row, kPaths>;

std::string Describe(const Row& row) {
    return row.present ? "present, playcount " + std::to_string(row.plays) : "absent";
}

// The rows after `report`'s work, applied to `rows`.
Rows Apply(Rows rows, const Report& report) {
    for (int i = 0; i < kPaths; ++i) {
        if (!(report.paths & (1u << i))) continue;
        Row& row = rows[i];
        switch (report.op) {
            case Op::Register:
            case Op::BatchAdd:
                if (!row.present) row = Row{true, 0};
                break;
            case Op::Credit:
                if (row.present) ++row.plays;
                break;
            case Op::Remove:
            case Op::BatchRemove: row = Row{}; break;
            case Op::Opened: break;
        }
    }
    return rows;
}

// What the child reported, in order.
struct Reports {
    bool opened = false;
    std::vector<Report> list;
};

// Reads whole reports off the pipe into `out`; false at the end of the pipe.
bool ReadReports(int fd, std::string& pending, Reports& out) {
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) return errno == EINTR || errno == EAGAIN;
    if (got == 0) return false;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t used = 0;
    for (; pending.size() - used >= sizeof(Report); used += sizeof(Report)) {
        Report report;
        std::memcpy(&report, pending.data() + used, sizeof report);
        if (report.op == Op::Opened) out.opened = true;
        else out.list.push_back(report);
    }
    pending.erase(0, used);
    return true;
}

// Reads reports until `until` returns true or the pipe ends; false when the
// pipe ended first (the child died by itself) or kGenerousWait passed.
template <typename Until>
bool ReadUntil(int fd, std::string& pending, Reports& out, Until until) {
    const Clock::time_point giveUp = Clock::now() + kGenerousWait;
    while (!until()) {
        if (Clock::now() >= giveUp) return false;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 5) > 0 && !ReadReports(fd, pending, out)) return false;
    }
    return true;
}

// The rows of the work's paths as a fresh connection sees them.
Rows ReadRows(const std::string& database, std::string& problems) {
    Rows rows{};
    sqlite3* opened = nullptr;
    sqlite3_open_v2(database.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
    DatabaseOwner reader(opened);
    Statement query(reader.get(), "SELECT file_name, playcount FROM list");
    if (query.Get() == nullptr) {
        problems += "the library cannot be read\n";
        return rows;
    }
    int rc;
    while ((rc = sqlite3_step(query.Get())) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(query.Get(), 0));
        const std::string text = name != nullptr ? name : "";
        bool known = text == kForeignRow;
        for (int i = 0; i < kPaths; ++i) {
            if (text != PathText(i)) continue;
            rows[i] = Row{true, sqlite3_column_int64(query.Get(), 1)};
            known = true;
        }
        if (!known) problems += "a row nobody wrote: '" + text + "'\n";
    }
    if (rc != SQLITE_DONE) problems += "reading the library ended with code " + std::to_string(rc) + "\n";
    return rows;
}

std::string IntegrityOf(const std::string& database) {
    sqlite3* opened = nullptr;
    sqlite3_open_v2(database.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
    DatabaseOwner checker(opened);
    Statement check(checker.get(), "PRAGMA integrity_check");
    if (check.Get() == nullptr || sqlite3_step(check.Get()) != SQLITE_ROW) return "integrity_check did not run";
    const unsigned char* verdict = sqlite3_column_text(check.Get(), 0);
    return verdict != nullptr ? reinterpret_cast<const char*>(verdict) : "";
}

// The last calls on one path, oldest first, for a failure message.
std::string HistoryOf(const Reports& reports, int index) {
    constexpr std::size_t kShown = 30;
    std::vector<std::string> calls;
    for (const Report& report : reports.list) {
        if (report.phase != Phase::Done || !(report.paths & (1u << index))) continue;
        calls.push_back(std::string(OpName(report.op)) + (report.acknowledged ? "" : "(refused)"));
    }
    std::ostringstream out;
    if (calls.size() > kShown) out << " ... (" << calls.size() - kShown << " before)";
    for (std::size_t i = calls.size() > kShown ? calls.size() - kShown : 0; i < calls.size(); ++i)
        out << ' ' << calls[i];
    return out.str();
}

// The threads this process runs now, from /proc; 0 when unknown.
int ThreadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + sizeof "Threads:" - 1);
    return 0;
}

// Waits until no thread but those this process started with runs: a closed
// connection's helper thread may still be on its way out, and a fork must
// not copy a process in the middle of that.
bool WaitForThreadsToEnd(int baseline) {
    const Clock::time_point giveUp = Clock::now() + kGenerousWait;
    while (ThreadCount() > baseline) {
        if (Clock::now() >= giveUp) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Kills a child still running when a trial ends early, and reaps it.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (pid_ > 0) Kill();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // SIGKILL and reap; the wait status.
    int Kill() {
        kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    void Reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// What the trials exercised, so that a run that never reached the store or
// never killed a call in the middle shows itself.
struct Figures {
    long acknowledged = 0;
    int killedInCall = 0;
    int storeHeldWork = 0;
    int killedItself = 0;
    long storedEntries = 0;
};

// The entries the store holds, read as another program would: 0 when none
// or when it cannot be read.
long StoredEntries(const std::string& database) {
    sqlite3* opened = nullptr;
    sqlite3_open_v2(WorkStore::PathFor(database).c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
    DatabaseOwner store(opened);
    Statement count(store.get(), "SELECT count(*) FROM work");
    if (count.Get() == nullptr || sqlite3_step(count.Get()) != SQLITE_ROW) return 0;
    return static_cast<long>(sqlite3_column_int64(count.Get(), 0));
}

// One trial; every failure names the seed.
void RunTrial(std::uint64_t seed, int baselineThreads, Figures& figures) {
    SCOPED_TRACE(testing::Message() << "trial seed " << seed << " (again: VELLUM_KILL_SEED=" << seed
                                    << " VELLUM_KILL_TRIALS=1 vellum_kill_tests --gtest_filter='*/0')");
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string database = folder.path() + "/vellumdb.db";

    std::mt19937_64 random(seed ^ 0x5851f42d4c957f2dULL);
    const KillPlan plan = PlanKill(random);

    // The library exists before the child starts, as the host's does: the
    // child's other connection then takes its locks from the first moment,
    // while the child is still opening the library.
    {
        LibraryConnection library;
        ASSERT_TRUE(library.Open(database));
    }

    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    // No connection of this process is open here, so the child starts with
    // SQLite holding no file or lock of ours.
    ASSERT_TRUE(WaitForThreadsToEnd(baselineThreads)) << "a thread of a closed connection still runs";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        readEnd.Reset();
        RunChild(database, seed, plan, writeEnd.Get());
    }
    ChildProcess child(pid);
    writeEnd.Reset();

    Reports reports;
    std::string pending;
    if (plan.afterOpen) {
        ASSERT_TRUE(ReadUntil(readEnd.Get(), pending, reports, [&] { return reports.opened; }))
            << "the child did not open the library";
    }
    const Clock::time_point killAt = Clock::now() + plan.after;
    const bool outlived = ReadUntil(readEnd.Get(), pending, reports, [&] { return Clock::now() >= killAt; });
    ASSERT_TRUE(outlived || plan.nth > 0) << "the child died before it was killed";
    figures.killedItself += !outlived;
    const int status = child.Kill();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "wait status " << status;
    // The rest of what the child wrote before it died.
    while (ReadReports(readEnd.Get(), pending, reports)) {
    }

    // Every acknowledged call, in order, and the one running at the kill.
    Rows acknowledged{};
    std::optional<Report> inFlight;
    for (const Report& report : reports.list) {
        if (report.phase == Phase::Begin) {
            inFlight = report;
            continue;
        }
        inFlight.reset();
        if (report.acknowledged) {
            acknowledged = Apply(acknowledged, report);
            continue;
        }
        // Only a credit of a path without a row may be turned down.
        const int index = __builtin_ctz(report.paths);
        EXPECT_TRUE(report.op == Op::Credit && !acknowledged[index].present)
            << OpName(report.op) << " of " << PathText(index) << " was refused; before it the row was "
            << Describe(acknowledged[index]);
    }
    const Rows withInFlight = inFlight ? Apply(acknowledged, *inFlight) : acknowledged;
    for (const Report& report : reports.list)
        figures.acknowledged += report.phase == Phase::Done && report.acknowledged;
    figures.killedInCall += inFlight.has_value();
    const long stored = StoredEntries(database);
    figures.storeHeldWork += stored > 0;
    figures.storedEntries += stored;

    // Opened as the next start opens it: what the store kept lands.
    auto check = [&](const char* when) {
        std::string problems;
        const Rows found = ReadRows(database, problems);
        EXPECT_EQ(problems, "") << when;
        for (int i = 0; i < kPaths; ++i) {
            const bool maybeInFlight = inFlight && (inFlight->paths & (1u << i));
            EXPECT_TRUE(found[i] == acknowledged[i] || (maybeInFlight && found[i] == withInFlight[i]))
                << when << ": " << PathText(i) << " is " << Describe(found[i]) << ", acknowledged work makes it "
                << Describe(acknowledged[i])
                << (maybeInFlight ? " (or " + Describe(withInFlight[i]) + " with the " + OpName(inFlight->op) +
                                        " running at the kill)"
                                  : std::string())
                << "; its last calls:" << HistoryOf(reports, i);
        }
    };
    {
        LibraryConnection library;
        ASSERT_TRUE(library.Open(database));
        ASSERT_TRUE(library.LandWaitingWork(kGenerousWait));
        EXPECT_EQ(library.WaitingCount(), 0u);
        check("after the first open");
    }
    // A second start finds nothing left to land, and lands nothing twice.
    {
        LibraryConnection library;
        ASSERT_TRUE(library.Open(database));
        ASSERT_TRUE(library.LandWaitingWork(kGenerousWait));
        check("after the second open");
    }
    EXPECT_EQ(IntegrityOf(database), "ok");
    EXPECT_EQ(IntegrityOf(WorkStore::PathFor(database)), "ok");
}

std::uint64_t SeedBase() {
    if (const char* given = std::getenv("VELLUM_KILL_SEED")) return std::strtoull(given, nullptr, 10);
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

int TrialCount() {
    if (const char* given = std::getenv("VELLUM_KILL_TRIALS")) return std::atoi(given);
    return kTrialsPerShard;
}

class KillTrials : public testing::TestWithParam<int> {};

// Each shard runs its trials one after another; CTest runs the shards side by side.
TEST_P(KillTrials, AcknowledgedWorkIsInTheLibraryExactlyOnceAfterAKill) {
    const std::uint64_t base = SeedBase() + static_cast<std::uint64_t>(GetParam()) * 1000003u;
    const int trials = TrialCount();
    const Clock::time_point start = Clock::now();
    Figures figures;
    // A thread started and ended first: a runtime that starts a thread of its
    // own with the process's first one (ThreadSanitizer does) has done so
    // before the baseline is counted.
    std::thread([] {}).join();
    const int threads = ThreadCount();
    int trial = 0;
    for (; trial < trials && !HasFailure(); ++trial)
        RunTrial(base + static_cast<std::uint64_t>(trial), threads, figures);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf(
        "%d trials in %lld ms: %ld calls acknowledged, %d kills during a call, %d at a step of the file "
        "traffic, %d with work in the store (%ld entries)\n",
        trial, static_cast<long long>(took.count()), figures.acknowledged, figures.killedInCall, figures.killedItself,
        figures.storeHeldWork, figures.storedEntries);
}

INSTANTIATE_TEST_SUITE_P(Shard, KillTrials, testing::Range(0, kShards));

}  // namespace
}  // namespace vellum
