#pragma once

#include <chrono>
#include <cstdint>

namespace koru::bench {

// CLOCK_MONOTONIC on Linux: one time base for every process of a run, so a
// stamp taken in a child can be compared with one taken in its parent.
using Clock = std::chrono::steady_clock;

inline std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

} // namespace koru::bench
