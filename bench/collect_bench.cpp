// Collecting the selection from the host's playlist chain, every entry
// selected, at 10,000 and 100,000 entries: one walk makes the cost linear.
// Both sizes are collected in turn within each pass, each from a chain evicted
// from the caches, as it is when the user picks the command (the host last
// touched it drawing the list). CollectWalkPerRow is what a walk from the
// first entry for every row costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "maintenance/batch_path_list.h"
#include "platform/text.h"
#include "probe/probe_context.h"

namespace vellum::bench {
namespace {

// A playlist laid out as the host keeps it: a record whose 32-bit link at byte
// 1044 names the first entry, and entries of 1248 bytes holding the wide path
// at byte 0 and the 32-bit link to the next entry at byte 1244. The host's links
// are addresses in its 32-bit process; here they are byte offsets into one
// block (0: none), read the same way. Counts the steps taken along the chain.
class HostLayoutChain final : public PlaylistChain {
public:
    static constexpr std::size_t kFirstEntry = 1044, kEntryNext = 1244, kEntryBytes = 1248;

    explicit HostLayoutChain(std::size_t entries) : block_((entries + 1) * kEntryBytes / sizeof(char16_t)) {
        for (std::size_t i = 0; i < entries; ++i) {
            const std::size_t entry = (i + 1) * kEntryBytes;
            const std::u16string path = platform::Utf8ToUtf16(
                "C:\\Music\\Artist " + std::to_string(i / 100) + "\\Album " + std::to_string(i / 10) + "\\" +
                std::to_string(i % 10 + 1) + " - Song " + std::to_string(i) + ".flac");
            std::copy(path.begin(), path.end(), Text(entry));
            SetLink(i == 0 ? kFirstEntry : entry - kEntryBytes + kEntryNext, entry);
        }
    }

    std::uintptr_t First() override { return Link(kFirstEntry); }
    std::uintptr_t Next(std::uintptr_t entry) override {
        ++steps;
        return Link(entry + kEntryNext);
    }
    std::u16string Path(std::uintptr_t entry) override {
        // As the host adapter reads it: at most 520 units, terminated or not.
        const char16_t* text = Text(entry);
        std::size_t length = 0;
        while (length < kPathBufferUnits && text[length] != u'\0') ++length;
        return std::u16string(text, length);
    }

    std::size_t steps = 0;

private:
    char16_t* Text(std::size_t at) { return block_.data() + at / sizeof(char16_t); }
    std::uintptr_t Link(std::size_t at) const {
        std::uint32_t value = 0;
        std::memcpy(&value, reinterpret_cast<const unsigned char*>(block_.data()) + at, sizeof value);
        return value;
    }
    void SetLink(std::size_t at, std::size_t target) {
        const auto value = static_cast<std::uint32_t>(target);
        std::memcpy(reinterpret_cast<unsigned char*>(block_.data()) + at, &value, sizeof value);
    }

    std::vector<char16_t> block_;
};

// Evicts the chain from the processor's caches, as it is when the user picks
// the command: the host last touched it while drawing the list.
void EvictCaches() {
    static std::vector<unsigned char> sweep(64u << 20);
    for (std::size_t i = 0; i < sweep.size(); i += 64) sweep[i] = static_cast<unsigned char>(sweep[i] + 1);
    benchmark::ClobberMemory();
}

std::vector<int> EveryRow(std::size_t entries) {
    std::vector<int> rows(entries);
    for (std::size_t i = 0; i < entries; ++i) rows[i] = static_cast<int>(i);
    return rows;
}

using Clock = std::chrono::steady_clock;

// One collection of every entry from a chain evicted from the caches; its time
// in seconds, or -1 when entries were lost.
double TimedCollection(HostLayoutChain& chain, const std::vector<int>& rows) {
    BatchPathList out;
    EvictCaches();
    const auto start = Clock::now();
    const std::size_t collected = CollectChainPaths(chain, rows, out);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return collected == rows.size() ? seconds : -1;
}

// 10,000 and 100,000 entries in turn within each pass.
void CollectSelection(benchmark::State& state) {
    HostLayoutChain small(10000), large(100000);
    const std::vector<int> smallRows = EveryRow(10000), largeRows = EveryRow(100000);
    double smallSeconds = 0, largeSeconds = 0;
    for (auto _ : state) {
        const double smallPass = TimedCollection(small, smallRows);
        const double largePass = TimedCollection(large, largeRows);
        if (smallPass < 0 || largePass < 0) return state.SkipWithError("entries lost");
        state.SetIterationTime(largePass);
        smallSeconds += smallPass;
        largeSeconds += largePass;
    }
    const auto passes = static_cast<double>(state.iterations());
    state.counters["ms_10k"] = smallSeconds * 1e3 / passes;
    state.counters["ms_100k"] = largeSeconds * 1e3 / passes;
    state.counters["ratio_100k_10k"] = largeSeconds / smallSeconds;
    state.counters["steps_per_entry"] = static_cast<double>(large.steps) / (passes * 100000.0);
}

void CollectWalkPerRow(benchmark::State& state) {
    const auto entries = static_cast<std::size_t>(state.range(0));
    HostLayoutChain chain(entries);
    BatchPathList out;
    for (auto _ : state) {
        out.Clear();
        for (std::size_t row = 0; row < entries; ++row) {
            std::uintptr_t entry = chain.First();
            for (std::size_t step = 0; step < row && entry != 0; ++step) entry = chain.Next(entry);
            out.Append(chain.Path(entry));
        }
    }
    state.counters["steps_per_entry"] =
        static_cast<double>(chain.steps) / static_cast<double>(state.iterations() * state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("CollectSelection", CollectSelection)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CollectWalkPerRow", CollectWalkPerRow)
        ->Arg(10000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace
}  // namespace vellum::bench
