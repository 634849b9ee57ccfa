#include "support/probes.h"

#include <fstream>
#include <string>

#include <time.h>

namespace koru::test {

std::chrono::nanoseconds processCpuTime()
{
    timespec ts {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

double processCpuSeconds()
{
    return std::chrono::duration<double>(processCpuTime()).count();
}

std::int64_t residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)); // "VmRSS:     12345 kB"
    }
    return -1;
}

} // namespace koru::test
