#include <fstream>
#include <string>

#include "heap_counter.h"

namespace vellum::bench {
namespace {

// A "Name:   1234 kB" line of /proc/self/status, in KiB; -1 when absent.
long StatusKiB(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, name.size() + 1, name + ":") == 0) return std::stol(line.substr(name.size() + 1));
    return -1;
}

}  // namespace

long ResidentPeakKiB() { return StatusKiB("VmHWM"); }
long ResidentNowKiB() { return StatusKiB("VmRSS"); }

void ResetResidentPeak() {
    // "5" resets the peak resident set to the current one (Linux 4.0 and later).
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace vellum::bench
