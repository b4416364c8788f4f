// The SQL half of registering each of the 10,000 media files, three ways,
// interleaved track by track so that all three meet the same machine:
//   path      the SQL half of RegisterFile in a batch: the registration entry
//             taken into the batch's transaction (the connection's mutex, the
//             lookup text built and compiled, the stored row read, the write
//             text built and run);
//   floor     the design's two statements and nothing else: the lookup text
//             compiled afresh and stepped, the write text run by sqlite3_exec,
//             both texts built beforehand;
//   prepared  the SQLite ceiling: the same lookup and write as prepared, bound
//             statements.
// Fresh (insert) and refresh (update); one transaction per lane and pass; each
// lane on a database of its own with PRAGMA synchronous=OFF. The records are
// probed once beforehand.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_data.h"
#include "library/rows.h"
#include "maintenance/register_file.h"

namespace vellum::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

// The two statement texts of each track, built before the timing.
class FloorLane {
public:
    FloorLane(LibraryConnection& connection, MediaTable table) : database_(connection.Handle()) {
        for (const RecordOwner& record : ProbedMediaRecords()) {
            lookups_.push_back("SELECT * FROM list WHERE file_name = '" + QuoteSqlText(record->file_name) + "'");
            writes_.push_back(table == MediaTable::Fresh ? BuildInsertStatement(*record)
                                                         : BuildUpdateStatement(*record));
        }
    }
    void Run(std::size_t track) {
        Statement lookup(database_, lookups_[track].c_str());
        sqlite3_reset(lookup.Get());
        benchmark::DoNotOptimize(sqlite3_step(lookup.Get()));
        sqlite3_exec(database_, writes_[track].c_str(), nullptr, nullptr, nullptr);
    }

private:
    sqlite3* database_;
    std::vector<std::string> lookups_, writes_;
};

// "INSERT INTO list values(?1,...,?25)" and "UPDATE list SET file_title = ?2,
// ... WHERE file_name = ?1": parameter k + 1 is column k in both.
std::string PreparedInsertText() {
    std::string sql = "INSERT INTO list values(";
    for (int column = 0; column < kColumnCount; ++column) sql += (column > 0 ? ",?" : "?") + std::to_string(column + 1);
    return sql + ")";
}

std::string PreparedUpdateText() {
    std::string sql = "UPDATE list SET ";
    for (int column = 1; column < kColumnCount; ++column)
        sql += std::string(column > 1 ? ", " : "") + kColumns[column].name + " = ?" + std::to_string(column + 1);
    return sql + " WHERE file_name = ?1";
}

// The same lookup and write through statements prepared once.
class PreparedLane {
public:
    explicit PreparedLane(LibraryConnection& connection)
        : lookup_(connection.Handle(), "SELECT * FROM list WHERE file_name = ?1"),
          insert_(connection.Handle(), PreparedInsertText().c_str()),
          update_(connection.Handle(), PreparedUpdateText().c_str()) {}
    void Run(TrackRecord& record) {
        sqlite3_bind_text(lookup_.Get(), 1, record.file_name, -1, SQLITE_STATIC);
        const bool found = sqlite3_step(lookup_.Get()) == SQLITE_ROW;
        if (found) {
            record.rating = sqlite3_column_int(lookup_.Get(), 9);
            record.playcount = sqlite3_column_int(lookup_.Get(), 10);
            record.lastplayed = sqlite3_column_int(lookup_.Get(), 11);
            record.modify = sqlite3_column_int(lookup_.Get(), 12);
        }
        sqlite3_reset(lookup_.Get());
        sqlite3_stmt* write = found ? update_.Get() : insert_.Get();
        Bind(write, record);
        sqlite3_step(write);
        sqlite3_reset(write);
    }

private:
    static void Bind(sqlite3_stmt* statement, const TrackRecord& record) {
        for (int column = 0; column < kColumnCount; ++column) {
            if (kColumns[column].kind == FieldKind::Number) {
                sqlite3_bind_int(statement, column + 1, NumberField(record, column));
                continue;
            }
            const char* text = TextField(record, column);
            sqlite3_bind_text(statement, column + 1, text != nullptr ? text : "", -1, SQLITE_STATIC);
        }
    }

    Statement lookup_, insert_, update_;
};

struct Lanes {
    explicit Lanes(MediaTable mode) : table(mode) {
        OpenScratchLibrary(path, "sql-path.db");
        OpenScratchLibrary(floorDb, "sql-floor.db");
        OpenScratchLibrary(preparedDb, "sql-prepared.db");
    }
    void Prepare() {
        for (LibraryConnection* connection : {&path, &floorDb, &preparedDb}) PrepareMediaTable(*connection, table);
    }
    // The floor and prepared lanes' transactions on their raw handles.
    void Exec(const char* sql) {
        for (LibraryConnection* connection : {&floorDb, &preparedDb}) MustExec(connection->Handle(), sql);
    }

    MediaTable table;
    LibraryConnection path, floorDb, preparedDb;
};

void SqlPerTrack(benchmark::State& state, MediaTable table) {
    const std::vector<RecordOwner>& records = ProbedMediaRecords();
    Lanes lanes(table);
    FloorLane floor(lanes.floorDb, table);
    PreparedLane prepared(lanes.preparedDb);
    double pathSeconds = 0, floorSeconds = 0, preparedSeconds = 0;
    for (auto _ : state) {
        lanes.Prepare();
        lanes.Exec("BEGIN");
        if (!lanes.path.BeginBatch()) state.SkipWithError("the batch's transaction cannot be had");
        double pass = 0;
        for (std::size_t track = 0; track < records.size(); ++track) {
            const auto start = Clock::now();
            std::unique_ptr<WorkEntry> entry = MakeRegistrationOf(RecordOwner(CopyTrackRecord(*records[track])));
            lanes.path.ApplyInBatch(entry);
            entry.reset();
            const auto pathDone = Clock::now();
            floor.Run(track);
            const auto floorDone = Clock::now();
            prepared.Run(*records[track]);
            const auto preparedDone = Clock::now();
            pass += Seconds(pathDone - start);
            floorSeconds += Seconds(floorDone - pathDone);
            preparedSeconds += Seconds(preparedDone - floorDone);
        }
        lanes.Exec("COMMIT");
        const auto committing = Clock::now();
        lanes.path.EndBatch();
        pass += Seconds(Clock::now() - committing);
        pathSeconds += pass;
        state.SetIterationTime(pass);
    }
    const double tracks = static_cast<double>(state.iterations()) * static_cast<double>(records.size());
    state.counters["path_us"] = pathSeconds * 1e6 / tracks;
    state.counters["floor_us"] = floorSeconds * 1e6 / tracks;
    state.counters["prepared_us"] = preparedSeconds * 1e6 / tracks;
    state.counters["path_per_floor"] = pathSeconds / floorSeconds;
    state.counters["path_per_prepared"] = pathSeconds / preparedSeconds;
    state.SetItemsProcessed(static_cast<std::int64_t>(tracks));
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("SqlPerTrack/fresh", SqlPerTrack, MediaTable::Fresh)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SqlPerTrack/refresh", SqlPerTrack, MediaTable::Refresh)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace vellum::bench
