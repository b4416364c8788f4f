// Fault injection for tests: the seam's allocator can be told to fail, and the
// POSIX seam's ANSI code page can be chosen. Production code never calls these.
#pragma once

namespace vellum::platform {

// The allocation after `successes` more successful ones fails (returns null).
// A negative value switches the injection off.
void FailHeapAllocationAfter(int successes) noexcept;
// Consulted by the allocator: true when this allocation is to fail.
bool FailNextHeapAllocation() noexcept;
// POSIX seam only: the code page that AnsiToWide and WideToAnsi use.
void SetAnsiCodePageForTesting(unsigned codePage) noexcept;

}  // namespace vellum::platform
