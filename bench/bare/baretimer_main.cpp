// The floor for the repeat figures: a bare timerfd loop outside Qt that writes
// a four-byte frame at once and then at every expiry of a periodic timer, as a
// held button does. Timed at the far end by the same recorder as the panel,
// its interval deviation is what this machine's scheduling leaves to anyone.
//
//   koru-bench-baretimer --device PATH --period-ms P --frames N
#include "drivers/options.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

using namespace koru::bench;

int main(int argc, char *argv[])
{
    const std::string device = option(argc, argv, "--device");
    const long periodMs = std::strtol(option(argc, argv, "--period-ms", "0").c_str(), nullptr, 10);
    const long frames = std::strtol(option(argc, argv, "--frames", "0").c_str(), nullptr, 10);
    if (device.empty() || periodMs <= 0 || frames <= 0) {
        std::fprintf(stderr, "usage: koru-bench-baretimer --device PATH --period-ms P --frames N\n");
        return 2;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0 || timer < 0) {
        std::perror("koru-bench-baretimer");
        return 1;
    }
    termios tio {};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    const timespec period { periodMs / 1000, (periodMs % 1000) * 1000000 };
    const itimerspec schedule { period, period };
    static const char frame[] = "C09\r";
    bool ok = ::write(fd, frame, 4) == 4 && ::timerfd_settime(timer, 0, &schedule, nullptr) == 0;
    for (long sent = 1; ok && sent < frames;) {
        std::uint64_t expirations = 0;
        ok = ::read(timer, &expirations, sizeof expirations) == sizeof expirations;
        // A missed expiry is one frame, as a late tick of the panel's timer is.
        ok = ok && ::write(fd, frame, 4) == 4;
        ++sent;
    }
    return ok ? 0 : 1;
}
