#pragma once

#include <functional>
#include <optional>
#include <string>

namespace koru::bench {

struct WireSample
{
    double milliseconds = 0;
    std::string bytes; // what arrived at the far end
};

// Runs `act` and then reads the far end (`masterFd`, non-blocking) in a tight
// loop until `count` bytes have arrived; the time is counted from just before
// `act`. Between empty reads the event loop gets a turn, so a panel that
// wrote from the event loop instead of from the handler would still be
// measured, not hang. Nothing after two seconds: no sample.
std::optional<WireSample> timeToWire(int masterFd, const std::function<void()> &act, int count);

} // namespace koru::bench
