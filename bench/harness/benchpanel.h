#pragma once

#include "support/panelfixture.h"

#include <chrono>
#include <memory>

namespace koru::bench {

// The real panel for the in-process benchmarks: the suites' own fixture,
// shown as the program shows it, COM1 on `com1Path` (a pty the benchmark
// holds, a gateway's address). A modal box would stop an unattended run, so
// its warnings go to standard error, where the run's log keeps them; the
// reporter still counts them. Needs a QApplication.
std::unique_ptr<test::PanelFixture> startBenchPanel(const QString &com1Path);

// Sends the warnings `reporter` records from now on to standard error too.
void echoWarnings(test::RecordingReporter &reporter);

// A button of the window by its control name; aborts on a name the window
// does not have, since every figure after it would be wrong.
PanelButton *requireButton(test::PanelFixture &panel, const char *name);

// Runs a real event loop for `duration`. QTest::qWait would not do here: it
// sleeps between turns of the loop, which delays every timer.
void runEventLoopFor(std::chrono::milliseconds duration);

} // namespace koru::bench
