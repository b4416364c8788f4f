// Heap high-water and resident-set figures for the memory benchmark.
//
// vellum_bench replaces malloc and its relatives (heap_counter.c) with thin
// wrappers around glibc's own allocator that, while counting is on, keep the
// bytes in use and their peak. Everything is counted: the core's records and
// texts, std::string and std::vector storage, SQLite's page cache.
#pragma once

#include <cstdint>

extern "C" {
void vellum_heap_counting(int on);
// Bytes handed out and not yet freed since counting was last switched on
// (frees of older blocks count too, so this can dip below zero).
long long vellum_heap_live(void);
// The highest value vellum_heap_live reached since counting was switched on.
long long vellum_heap_peak(void);
}

namespace vellum::bench {

// Peak and current resident set of the process, in KiB (VmHWM, VmRSS).
long ResidentPeakKiB();
long ResidentNowKiB();
// Starts the peak resident set afresh from the current one.
void ResetResidentPeak();

}  // namespace vellum::bench
