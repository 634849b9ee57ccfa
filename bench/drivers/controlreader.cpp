#include "drivers/controlreader.h"

#include "probe/clock.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace koru::bench {

namespace {

[[noreturn]] void readFor(const std::string &device, std::chrono::seconds duration, int result)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        ::_exit(1);
    termios tio {};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    const std::int64_t start = monotonicNs();
    const std::int64_t end = start + std::chrono::nanoseconds(duration).count();
    char chunk[4096];
    for (std::int64_t now = start; now < end; now = monotonicNs()) {
        pollfd pfd { fd, POLLIN, 0 };
        if (::poll(&pfd, 1, int((end - now) / 1000000) + 1) > 0)
            while (::read(fd, chunk, sizeof chunk) > 0) {
            }
    }
    rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    const auto micros = [](const timeval &tv) { return std::int64_t(tv.tv_sec) * 1000000 + tv.tv_usec; };
    const std::int64_t cpuMicros = micros(after.ru_utime) + micros(after.ru_stime) - micros(before.ru_utime)
        - micros(before.ru_stime);
    const std::int64_t wallMicros = (monotonicNs() - start) / 1000;
    const std::int64_t figures[2] = { cpuMicros, wallMicros };
    const bool written = ::write(result, figures, sizeof figures) == sizeof figures;
    ::_exit(written ? 0 : 1);
}

} // namespace

std::optional<double> controlReaderCpuPercent(const std::string &device, std::chrono::seconds duration)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        readFor(device, duration, fds[1]);
    }
    ::close(fds[1]);
    std::int64_t figures[2] = {};
    const bool read = pid > 0 && ::read(fds[0], figures, sizeof figures) == sizeof figures;
    ::close(fds[0]);
    if (pid > 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (!read || figures[1] <= 0)
        return std::nullopt;
    return double(figures[0]) / double(figures[1]) * 100.0;
}

} // namespace koru::bench
