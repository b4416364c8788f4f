#include "platform/test_hooks.h"

#include <atomic>

namespace vellum::platform {
namespace {
std::atomic<int> g_allocationsBeforeFailure{-1};
}

void FailHeapAllocationAfter(int successes) noexcept { g_allocationsBeforeFailure = successes; }

bool FailNextHeapAllocation() noexcept {
    int left = g_allocationsBeforeFailure.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) return left == 0;
    }
    return false;
}

}  // namespace vellum::platform
