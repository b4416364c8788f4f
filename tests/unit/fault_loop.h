// Exhaustive allocation-fault loops, as SQLite's own tests run them.
//
// The operation runs with the 1st allocation on this thread failing, then the
// 2nd, the 3rd, ... until a run completes without reaching its fault: every
// allocation the operation makes has then failed once. The same is done again
// with the Nth allocation and every one after it failing (a heap that stays
// exhausted), which reaches the clean-up paths a single failure leaves alone.
// Allocations made by operator new, SQLite and the seam's heap all count
// (fault_heap.cpp); other threads' do not.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/test_hooks.h"

namespace vellum::testing {

struct FaultLoop {
    // Unarmed, before every run: puts the state back to where the operation starts.
    std::function<void()> setup = [] {};
    // The operation under test; the only code run with the fault armed.
    std::function<void()> operation;
    // Unarmed, after every run, with whether an allocation was failed: asserts
    // the invariants (rows whole or absent, failure reported, the library still
    // working). It may flush waiting work; what it allocates it must release.
    std::function<void(bool faulted)> check;
    // Compare the blocks outstanding after setup and after check: on for
    // operations that keep nothing (a journal entry waiting counts as kept).
    bool countBlocks = true;
    // A guard against an operation that never completes unfaulted, not a bound.
    int cap = 100000;
};

namespace detail {

// One run failing allocation `successes` (and, if persistent, every later
// one). True when the fault was reached.
inline bool RunOnce(const FaultLoop& loop, int successes, bool persistent) {
    SCOPED_TRACE((persistent ? "every allocation from #" : "allocation #") + std::to_string(successes + 1) +
                 " failing");
    loop.setup();
    const long before = platform::HeapBlocksOutstanding();
    platform::FailHeapAllocationAfter(successes, persistent);
    loop.operation();
    const bool faulted = platform::HeapFaultInjected();
    platform::FailHeapAllocationAfter(-1);
    loop.check(faulted);
    if (loop.countBlocks) {
        EXPECT_EQ(platform::HeapBlocksOutstanding(), before) << "blocks leaked";
    }
    return faulted;
}

// Runs until a run completes with no fault; the number of faulted runs.
inline int RunUntilClean(const FaultLoop& loop, bool persistent) {
    for (int successes = 0; successes < loop.cap; ++successes) {
        if (!RunOnce(loop, successes, persistent)) return successes;
        if (::testing::Test::HasFatalFailure()) return successes;
    }
    ADD_FAILURE() << "the operation still allocated after " << loop.cap << " allocations";
    return loop.cap;
}

}  // namespace detail

// Runs the loop in both modes after one unarmed run (which also lets lazily
// made state, such as a thread's converters, settle before blocks are
// counted). Returns how many allocations the operation makes when none fails.
inline int FailEachAllocationInTurn(const FaultLoop& loop) {
    {
        SCOPED_TRACE("no allocation failing");
        loop.setup();
        loop.operation();
        loop.check(false);
    }
    // The counts of the two passes may differ by a block or two: a queue that
    // crosses into a new block, SQLite's caches.
    const int sites = detail::RunUntilClean(loop, false);
    detail::RunUntilClean(loop, true);
    return sites;
}

}  // namespace vellum::testing
