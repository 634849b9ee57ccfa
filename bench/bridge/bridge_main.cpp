// koru-bridge as PJLink controllers meet it: the simulated projector on a
// pseudo-terminal, the bridge in front of it as a program of its own, and
// plain blocking sockets on loopback as the controllers.
//
//   koru-bench-bridge --bridge PATH --sim PATH [--seconds N]
//
// - POWR ? round trip: answered from the bridge's model, never the line.
// - POWR 1 round trip against the line floor of the same run: the frames the
//   bridge must carry for it (C00, then the status it brought about), timed
//   on the simulator's line directly before the bridge takes it.
// - 50 controllers polling POWR ? every second, on connections kept open and
//   connecting anew for each poll: the bridge's CPU share (all its threads,
//   from the scheduler's counts) and resident memory.
#include "common/childprocess.h"
#include "common/loopback.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "drivers/options.h"
#include "probe/clock.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace koru::bench;

namespace {

constexpr int kReplyDelayMs = 20; // the simulator's, on its command line below
constexpr int kQuerySamples = 500;
constexpr int kPowerSamples = 30;
constexpr int kControllers = 50;
constexpr auto kPollPeriod = 1s;
constexpr double kQueryP50TargetMs = 1.0;
constexpr double kQueryP99TargetMs = 1.0;
constexpr double kAboveFloorTargetMs = 1.0;
constexpr double kCpuTargetPercent = 2.0;
constexpr auto kAnswerWait = 5s;

double elapsedMs(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Reads up to and including the next CR; nothing when the peer closed or
// `wait` passed.
std::optional<std::string> readToCr(int fd, std::chrono::milliseconds wait)
{
    std::string line;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd pfd { fd, POLLIN, 0 };
        if (::poll(&pfd, 1, int(left.count())) <= 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        line += c;
        if (c == '\r')
            return line;
    }
}

bool writeAll(int fd, const std::string &bytes)
{
    return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

// The simulator's line, opened as a serial program would: raw, at its speed.
int openLine(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// What the line itself takes for one command and the status read after it.
std::optional<Summary> lineFloor(const std::string &device, int runs)
{
    const int fd = openLine(device);
    if (fd < 0)
        return std::nullopt;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!writeAll(fd, "C00\r") || !readToCr(fd, kAnswerWait) || !writeAll(fd, "CR0\r")
            || !readToCr(fd, kAnswerWait)) {
            ::close(fd);
            return std::nullopt;
        }
        times.push_back(elapsedMs(start));
    }
    ::close(fd);
    return summarize(times);
}

int connectTo(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// A PJLink controller's connection, past the greeting (no password).
int controller(uint16_t port)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return -1;
    const std::optional<std::string> greeting = readToCr(fd, kAnswerWait);
    if (greeting != std::string("PJLINK 0\r")) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A "Vm..." line of /proc/PID/status, in KiB.
long statusKiB(pid_t pid, const std::string &key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

// `requests` lines of PJLink on one connection, one after the other.
std::optional<Summary> roundTrips(int fd, const std::string &request, const std::string &answer, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (!writeAll(fd, request))
            return std::nullopt;
        const std::optional<std::string> got = readToCr(fd, kAnswerWait);
        if (!got || *got != answer) {
            note("%s answered %s", request.c_str(), got ? got->c_str() : "nothing");
            return std::nullopt;
        }
        times.push_back(elapsedMs(start));
    }
    return summarize(times);
}

struct Polling
{
    int answers = 0;
    int wrong = 0;
    double cpuPercent = 0;
    long residentKiB = 0;
    long peakKiB = 0;
};

enum class Style {
    KeepOpen,  // one connection each, kept open (OpenLP, AV controllers)
    Reconnect, // a new connection for every poll, closed after the answer (Home Assistant)
};

// Every controller sends POWR ? once a period, spread evenly over it.
std::optional<Polling> pollForAWhile(pid_t bridge, uint16_t port, std::chrono::seconds length, Style style)
{
    std::vector<int> fds(kControllers, -1);
    const auto closeAll = [&fds] {
        for (int &fd : fds) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    };
    if (style == Style::KeepOpen) {
        for (int i = 0; i < kControllers; ++i) {
            fds[size_t(i)] = controller(port);
            if (fds[size_t(i)] < 0) {
                note("controller %d could not connect", i + 1);
                closeAll();
                return std::nullopt;
            }
        }
    }
    Polling result;
    std::vector<std::string> partial(fds.size());
    std::vector<Clock::time_point> due(fds.size());
    const auto start = Clock::now();
    for (size_t i = 0; i < fds.size(); ++i)
        due[i] = start + kPollPeriod * int(i) / kControllers;
    const double cpuBefore = koru::bench::processCpuMs(bridge);
    const auto end = start + length;
    while (Clock::now() < end) {
        const auto now = Clock::now();
        auto next = end;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (due[i] <= now) {
                if (style == Style::Reconnect && fds[i] < 0)
                    fds[i] = controller(port);
                if (fds[i] < 0 || !writeAll(fds[i], "%1POWR ?\r")) {
                    note("controller %zu could not ask", i + 1);
                    closeAll();
                    return std::nullopt;
                }
                due[i] += kPollPeriod;
            }
            next = std::min(next, due[i]);
        }
        std::vector<pollfd> pfds;
        std::vector<size_t> owners;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i] >= 0) {
                pfds.push_back({ fds[i], POLLIN, 0 });
                owners.push_back(i);
            }
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        ::poll(pfds.data(), pfds.size(), int(std::max<long>(0, wait.count())));
        for (size_t k = 0; k < pfds.size(); ++k) {
            if (!(pfds[k].revents & (POLLIN | POLLHUP)))
                continue;
            const size_t i = owners[k];
            char chunk[256];
            const ssize_t n = ::read(fds[i], chunk, sizeof chunk);
            if (n <= 0) {
                note("controller %zu: the bridge closed the connection", i + 1);
                closeAll();
                return std::nullopt;
            }
            partial[i].append(chunk, size_t(n));
            for (size_t cr; (cr = partial[i].find('\r')) != std::string::npos;) {
                const std::string line = partial[i].substr(0, cr);
                partial[i].erase(0, cr + 1);
                ++result.answers;
                if (line.rfind("%1POWR=", 0) != 0)
                    ++result.wrong;
                if (style == Style::Reconnect) {
                    ::close(fds[i]);
                    fds[i] = -1;
                    break;
                }
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.cpuPercent = (koru::bench::processCpuMs(bridge) - cpuBefore) / (seconds * 1000.0) * 100.0;
    result.residentKiB = statusKiB(bridge, "VmRSS");
    result.peakKiB = statusKiB(bridge, "VmHWM");
    closeAll();
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string bridgePath = option(argc, argv, "--bridge");
    const std::string simPath = option(argc, argv, "--sim");
    const auto seconds = std::chrono::seconds(std::stoi(option(argc, argv, "--seconds", "20")));
    if (bridgePath.empty() || simPath.empty() || seconds.count() <= 0) {
        note("usage: koru-bench-bridge --bridge PATH --sim PATH [--seconds N]");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    ChildProcess sim;
    // A short count down, so that the projector is on before the POWR 1 rows.
    const std::optional<std::string> device
        = startSimulator(sim, { simPath, "--delay", std::to_string(kReplyDelayMs), "--countdown", "100" });
    if (!device)
        return 1;

    const std::optional<Summary> floor = lineFloor(*device, kPowerSamples);
    if (!floor) {
        note("the simulated projector did not answer on %s", device->c_str());
        return 1;
    }

    const uint16_t pjlinkPort = freeLoopbackPort();
    ChildProcess bridge;
    // Fifty at once, all from loopback, take more than the default eight
    // connections and four from one address.
    if (!bridge.start({ bridgePath, "--port", *device, "--pjlink", "127.0.0.1:" + std::to_string(pjlinkPort),
                        "--max-connections", std::to_string(kControllers), "--max-connections-per-address",
                        std::to_string(kControllers) })) {
        note("cannot start %s", bridgePath.c_str());
        return 1;
    }
    int fd = -1;
    for (const auto deadline = Clock::now() + 10s; fd < 0 && Clock::now() < deadline;) {
        fd = controller(pjlinkPort);
        if (fd < 0)
            std::this_thread::sleep_for(20ms);
    }
    if (fd < 0) {
        note("koru-bridge did not listen on 127.0.0.1:%u", unsigned(pjlinkPort));
        return 1;
    }
    // Its first status read done, and the projector on: every POWR ? below
    // reads 1, every POWR 1 finds it on already.
    if (!roundTrips(fd, "%1POWR 1\r", "%1POWR=OK\r", 1)) {
        note("POWR 1 failed before the measurements");
        return 1;
    }
    std::this_thread::sleep_for(6s); // the count down over, and the bridge's next status read after it

    bool ok = true;
    if (const std::optional<Summary> query = roundTrips(fd, "%1POWR ?\r", "%1POWR=1\r", kQuerySamples)) {
        printRow(format("koru-bridge: POWR ? round trip on loopback (n=%zu)", query->count),
                 format("p50 %.3f ms, p99 %.3f ms", query->p50, query->p99),
                 format("p50 and p99 < %.0f ms", kQueryP50TargetMs),
                 query->p50 < kQueryP50TargetMs && query->p99 < kQueryP99TargetMs);
        note("POWR ?: max %.3f ms, mean %.3f ms", query->max, query->mean);
    } else {
        ok = false;
    }

    printInfoRow(format("koru-bridge: line floor, C00 then CR0 straight on the simulator's line (n=%zu)", floor->count),
                 format("p50 %.1f ms", floor->p50), "the line and the projector (20 ms reply delay), no bridge");
    if (const std::optional<Summary> power = roundTrips(fd, "%1POWR 1\r", "%1POWR=OK\r", kPowerSamples)) {
        const double above = power->p50 - floor->p50;
        printRow(format("koru-bridge: POWR 1 round trip above the line floor (n=%zu)", power->count),
                 format("%+.2f ms (p50 %.1f ms, p99 %.1f ms)", above, power->p50, power->p99),
                 format("<= %.0f ms", kAboveFloorTargetMs), above <= kAboveFloorTargetMs);
    } else {
        ok = false;
    }
    ::close(fd);

    const struct
    {
        Style style;
        const char *what;
    } styles[] = { { Style::KeepOpen, "each on its own connection, kept open" },
                   { Style::Reconnect, "each connecting anew for every poll" } };
    for (const auto &run : styles) {
        std::this_thread::sleep_for(500ms); // the bridge has seen the last run's connections close
        const std::optional<Polling> polling = pollForAWhile(bridge.pid(), pjlinkPort, seconds, run.style);
        if (!polling) {
            ok = false;
            continue;
        }
        const bool answered
            = polling->wrong == 0 && polling->answers >= kControllers * int(seconds.count()) - kControllers;
        printRow(format("koru-bridge: CPU, %d controllers polling POWR ? every second, %s (%lld s)", kControllers,
                        run.what, static_cast<long long>(seconds.count())),
                 format("%.2f%% of one core (%d answers, %d wrong)", polling->cpuPercent, polling->answers,
                        polling->wrong),
                 format("< %.0f%%", kCpuTargetPercent), answered && polling->cpuPercent < kCpuTargetPercent);
        if (run.style == Style::KeepOpen)
            printInfoRow(format("koru-bridge: resident memory, %d controllers connected", kControllers),
                         format("%.1f MiB (peak %.1f MiB)", polling->residentKiB / 1024.0,
                                polling->peakKiB / 1024.0),
                         "VmRSS and VmHWM of the daemon");
    }

    const int bridgeStatus = bridge.stop(SIGTERM);
    sim.stop(SIGTERM);
    if (bridgeStatus != 0) {
        note("koru-bridge ended with status %d after SIGTERM", bridgeStatus);
        ok = false;
    }
    return ok ? 0 : 1;
}
