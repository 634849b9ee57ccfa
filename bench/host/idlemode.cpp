#include "host/hostmodes.h"

#include "harness/benchpanel.h"
#include "support/probes.h"

#include <cstdio>

namespace koru::bench {

int runIdle(const std::string &com1, std::chrono::seconds duration)
{
    using namespace std::chrono_literals;
    const auto panel = startBenchPanel(QString::fromStdString(com1));
    if (!panel->loaded)
        return 1;
    runEventLoopFor(1s); // start-up's own work is done
    const std::chrono::nanoseconds before = test::processCpuTime();
    runEventLoopFor(duration);
    const std::chrono::nanoseconds after = test::processCpuTime();
    std::printf("idle_cpu_ms=%.3f\nidle_seconds=%lld\n",
                std::chrono::duration<double, std::milli>(after - before).count(),
                static_cast<long long>(duration.count()));
    std::fflush(stdout);
    return 0;
}

} // namespace koru::bench
