#pragma once

#include <chrono>
#include <cstdint>

namespace koru::test {

// Small measurements of this process, shared by the suites and the
// benchmarks (a line's speed is in linespeed.h). Nothing here needs Qt, so the
// bare yardstick window of the benchmarks can use them without the panel.

// CPU time this process has used so far, all threads, user and system.
std::chrono::nanoseconds processCpuTime();

// The same in seconds, for the suites' "idle means idle" checks.
double processCpuSeconds();

// Resident set size from /proc/self/status (VmRSS), in KiB; -1 if unreadable.
std::int64_t residentKiB();

} // namespace koru::test
