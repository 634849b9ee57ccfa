#pragma once

#include <chrono>
#include <string>

namespace koru::bench {

// What the panel host can be asked to do; each prints "key=value" lines on
// standard output and returns the exit status. All need a QApplication.

// Start-up as the program does it; prints the first paint and the resident
// size once shown.
int runFirstPaint(const std::string &com1);

// With whatever arrives on COM1 (the flood), optionally holding a button:
// CPU share, lateness of a 10 ms probe timer, resident size before and after.
int runProbe(const std::string &com1, std::chrono::seconds duration, const std::string &holdButton);

// CPU time over `duration` with nothing happening, after start-up.
int runIdle(const std::string &com1, std::chrono::seconds duration);

} // namespace koru::bench
