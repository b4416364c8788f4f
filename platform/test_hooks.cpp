#include "platform/test_hooks.h"

#include <atomic>

namespace vellum::platform {
namespace {
// Successes left before the failure; -1 when off.
thread_local int t_successesLeft = -1;
thread_local bool t_persistent = false;
thread_local bool t_injected = false;
std::atomic<long> g_blocksOutstanding{0};
}  // namespace

void FailHeapAllocationAfter(int successes, bool persistent) noexcept {
    t_successesLeft = successes < 0 ? -1 : successes;
    t_persistent = persistent && successes >= 0;
    t_injected = false;
}

bool FailNextHeapAllocation() noexcept {
    if (t_successesLeft < 0) return false;
    if (t_successesLeft > 0) {
        --t_successesLeft;
        return false;
    }
    if (!t_persistent) t_successesLeft = -1;
    t_injected = true;
    return true;
}

bool HeapFaultInjected() noexcept { return t_injected; }

HeapFaultPause::HeapFaultPause() noexcept : successesLeft_(t_successesLeft) { t_successesLeft = -1; }

HeapFaultPause::~HeapFaultPause() { t_successesLeft = successesLeft_; }

void CountHeapBlock(bool allocated) noexcept {
    g_blocksOutstanding.fetch_add(allocated ? 1 : -1, std::memory_order_relaxed);
}

long HeapBlocksOutstanding() noexcept { return g_blocksOutstanding.load(std::memory_order_relaxed); }

}  // namespace vellum::platform
