#pragma once

#include <chrono>
#include <cstdint>

namespace koru::bench {

// CPU time this process has used so far, all threads, user and system.
std::chrono::nanoseconds processCpuTime();

// Resident set size from /proc/self/status (VmRSS), in KiB; -1 if unreadable.
std::int64_t residentKiB();

} // namespace koru::bench
