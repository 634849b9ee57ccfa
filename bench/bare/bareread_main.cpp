// The floor for the flood's CPU figure: a process that does nothing but wait in
// poll() on a line and read whatever arrives. What it costs is the price of the
// wake-ups themselves on this machine, which no panel can go below while it
// reads as the bytes arrive.
//
//   koru-bench-bareread --device PATH --seconds N
// Prints cpu_ms, wall_ms and bytes as "key=value" lines.
#include "drivers/options.h"
#include "probe/clock.h"
#include "support/probes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace koru::bench;

int main(int argc, char *argv[])
{
    const std::string device = option(argc, argv, "--device");
    const long seconds = std::strtol(option(argc, argv, "--seconds", "0").c_str(), nullptr, 10);
    if (device.empty() || seconds <= 0) {
        std::fprintf(stderr, "usage: koru-bench-bareread --device PATH --seconds N\n");
        return 2;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(device.c_str());
        return 1;
    }
    termios tio {};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    const std::chrono::nanoseconds cpuStart = koru::test::processCpuTime();
    const std::int64_t start = monotonicNs();
    const std::int64_t end = start + std::int64_t(seconds) * 1000000000;
    long long bytes = 0;
    char chunk[4096];
    for (std::int64_t now = start; now < end; now = monotonicNs()) {
        pollfd pfd { fd, POLLIN, 0 };
        if (::poll(&pfd, 1, int((end - now) / 1000000) + 1) <= 0)
            continue;
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
            bytes += n;
    }
    std::printf("cpu_ms=%.3f\nwall_ms=%.3f\nbytes=%lld\n", std::chrono::duration<double, std::milli>(koru::test::processCpuTime() - cpuStart).count(),
                double(monotonicNs() - start) / 1e6, bytes);
    return 0;
}
