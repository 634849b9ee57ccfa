// Idle: the panel's CPU time over ten seconds with nothing happening, after
// start-up, in a process of its own on a silent line. Several runs; the
// median is the figure.
//
//   koru-bench-idle --host PATH [--runs N] [--seconds S]
#include "common/childprocess.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "drivers/options.h"
#include "support/pty.h"

#include <csignal>

using namespace koru::bench;
using namespace std::chrono_literals;

namespace {
constexpr double kIdleTargetMs = 10.0;
}

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string host = option(argc, argv, "--host");
    const long runs = std::strtol(option(argc, argv, "--runs", "3").c_str(), nullptr, 10);
    const std::string seconds = option(argc, argv, "--seconds", "10");
    koru::test::PtyPair pty;
    if (host.empty() || runs <= 0 || !pty.isValid()) {
        note("usage: koru-bench-idle --host PATH [--runs N] [--seconds S]");
        return 2;
    }
    std::vector<double> cpuMs;
    for (long i = 0; i < runs; ++i) {
        ChildProcess child;
        if (!child.start({ host, "--com1", pty.slavePath().toStdString(), "--idle", seconds }))
            return 1;
        const std::string output = child.readRest(120s);
        const int status = child.wait();
        const auto cpu = numberOf(parseKeyValues(output), "idle_cpu_ms");
        if (status != 0 || !cpu) {
            note("the idle panel failed (status %d)", status);
            return 1;
        }
        cpuMs.push_back(*cpu);
    }
    const double m = median(cpuMs);
    printRow("Idle CPU over " + seconds + " s after start-up",
             format("%.2f ms (median of %ld; max %.2f ms)", m, runs, percentile(cpuMs, 100)),
             format("< %.0f ms", kIdleTargetMs), m < kIdleTargetMs);
    return 0;
}
