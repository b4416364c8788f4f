// GetRecord, as another plugin calls it, on the 100,000-row library, against
// two floors, interleaved key by key so that all three meet the same machine:
//   get       api::GetRecord and FreeRecord (the plugin's connection);
//   floor     the design's floor: the lookup text (built beforehand) compiled
//             for the call and stepped, the row read in place;
//   prepared  the SQLite ceiling: one prepared statement bound to the key, the
//             row read in place.
// Each on a connection of its own to the same file, so each has its own page
// cache and sees the same sequence of keys.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "api/library_interface.h"
#include "bench_data.h"
#include "api/plugin_state.h"
#include "library/rows.h"

namespace vellum::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

// Touches every column of the current row without copying it.
std::size_t ReadInPlace(sqlite3_stmt* statement) {
    std::size_t bytes = 0;
    for (int column = 0; column < kColumnCount; ++column) {
        if (kColumns[column].kind == FieldKind::Number) {
            bytes += static_cast<std::size_t>(sqlite3_column_int(statement, column) & 1);
            continue;
        }
        benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
    }
    return bytes;
}

bool FloorLookup(sqlite3* database, const std::string& text) {
    Statement lookup(database, text.c_str());
    sqlite3_reset(lookup.Get());
    if (sqlite3_step(lookup.Get()) != SQLITE_ROW) return false;
    benchmark::DoNotOptimize(ReadInPlace(lookup.Get()));
    return true;
}

bool PreparedLookup(sqlite3_stmt* lookup, const std::string& key) {
    sqlite3_bind_text(lookup, 1, key.c_str(), -1, SQLITE_STATIC);
    const bool found = sqlite3_step(lookup) == SQLITE_ROW;
    if (found) benchmark::DoNotOptimize(ReadInPlace(lookup));
    sqlite3_reset(lookup);
    return found;
}

bool GetAndFree(const std::string& key) {
    VellumTrackRecord* record = api::GetRecord(key.c_str());
    if (record == nullptr) return false;
    benchmark::DoNotOptimize(record->playcount);
    api::FreeRecord(record);
    return true;
}

void LookupPerRecord(benchmark::State& state) {
    static const bool opened = State().connection.Open(Library100kFile());
    if (!opened) return state.SkipWithError("cannot open the library");
    const RawDatabase floorDb(Library100kFile(), SQLITE_OPEN_READONLY);
    const RawDatabase preparedDb(Library100kFile(), SQLITE_OPEN_READONLY);
    Statement prepared(preparedDb.get(), "SELECT * FROM list WHERE file_name = ?1");
    const std::vector<std::string>& keys = Library100kKeys();
    std::vector<std::string> texts;
    for (const std::string& key : keys)
        texts.push_back("SELECT * FROM list WHERE file_name = '" + QuoteSqlText(key.c_str()) + "'");
    double get = 0, floor = 0, ceiling = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool found = GetAndFree(keys[next]);
        const auto gotten = Clock::now();
        const bool floorFound = FloorLookup(floorDb.get(), texts[next]);
        const auto floorDone = Clock::now();
        const bool preparedFound = PreparedLookup(prepared.Get(), keys[next]);
        const auto preparedDone = Clock::now();
        if (!found || !floorFound || !preparedFound) return state.SkipWithError("a stored row was not found");
        state.SetIterationTime(Seconds(gotten - start));
        get += Seconds(gotten - start);
        floor += Seconds(floorDone - gotten);
        ceiling += Seconds(preparedDone - floorDone);
        next = next + 1 == keys.size() ? 0 : next + 1;
    }
    state.counters["get_us"] = get * 1e6 / static_cast<double>(state.iterations());
    state.counters["floor_us"] = floor * 1e6 / static_cast<double>(state.iterations());
    state.counters["prepared_us"] = ceiling * 1e6 / static_cast<double>(state.iterations());
    state.counters["get_per_floor"] = get / floor;
    state.counters["get_per_prepared"] = get / ceiling;
    state.SetItemsProcessed(state.iterations());
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("LookupPerRecord", LookupPerRecord)->UseManualTime()->Unit(benchmark::kMicrosecond);
    return true;
}();

}  // namespace
}  // namespace vellum::bench
