// Fault injection for tests: the seam's allocator can be told to fail, and the
// POSIX seam's ANSI code page can be chosen. Production code only consults
// them (the seam's allocator asks whether to fail and reports its blocks).
//
// Injection is armed per thread: only allocations on the thread that armed it
// count and fail, so the connection's helper thread and other threads run as
// usual and a run with the same arming fails the same allocation. The test
// binaries route operator new and SQLite's allocator through the same countdown
// (tests/unit/fault_heap.cpp).
#pragma once

namespace vellum::platform {

// On the calling thread, the allocation after `successes` more successful ones
// fails (returns null); with `persistent`, that one and every later one fail
// until the injection is switched off. A negative value switches it off.
void FailHeapAllocationAfter(int successes, bool persistent = false) noexcept;
// Consulted by the allocators: true when this allocation is to fail.
bool FailNextHeapAllocation() noexcept;
// True when an allocation on this thread has failed since the last arming.
bool HeapFaultInjected() noexcept;

// While one lives, allocations on this thread neither count down nor fail:
// for the tests' stand-ins of C libraries (the audio library, the host), whose
// own allocations never throw into the plugin.
class HeapFaultPause {
public:
    HeapFaultPause() noexcept;
    ~HeapFaultPause();
    HeapFaultPause(const HeapFaultPause&) = delete;
    HeapFaultPause& operator=(const HeapFaultPause&) = delete;

private:
    int successesLeft_;
};

// Blocks handed out and not yet released, by every allocator that reports to
// it (the POSIX seam's heap; in the test binaries operator new as well), on
// all threads. For leak checks around an operation.
void CountHeapBlock(bool allocated) noexcept;
long HeapBlocksOutstanding() noexcept;

// POSIX seam only: the code page that AnsiToWide and WideToAnsi use.
void SetAnsiCodePageForTesting(unsigned codePage) noexcept;

}  // namespace vellum::platform
