#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace koru::bench {

// The yardstick for the flood's CPU figure: a process that does nothing but
// wait in poll() on `device` and read whatever arrives, for `duration`.
// Returns its CPU share of one core in percent. What such a loop costs is the
// price of the wake-ups themselves on this machine, which no panel can go
// below while it reads as the bytes arrive.
std::optional<double> controlReaderCpuPercent(const std::string &device, std::chrono::seconds duration);

} // namespace koru::bench
