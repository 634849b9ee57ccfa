#include "wire/wirelatency.h"

#include "probe/clock.h"

#include <QCoreApplication>

#include <cerrno>
#include <unistd.h>

namespace koru::bench {

std::optional<WireSample> timeToWire(int masterFd, const std::function<void()> &act, int count)
{
    WireSample sample;
    const Clock::time_point start = Clock::now();
    act();
    const Clock::time_point deadline = start + std::chrono::seconds(2);
    char chunk[64];
    while (int(sample.bytes.size()) < count) {
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n > 0) {
            sample.bytes.append(chunk, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (Clock::now() > deadline)
            return std::nullopt;
        QCoreApplication::processEvents();
    }
    sample.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return sample;
}

} // namespace koru::bench
