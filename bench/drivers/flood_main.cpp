// Flood: the simulated projector (a program of its own) sends random bytes at
// the 19200 baud line rate while the panel, in a process of its own, sits idle
// and then while it repeats a held button. Each figure belongs to the panel's
// process alone. Each case has two windows of N seconds: CPU share and memory
// growth are taken in the first, with nothing of ours waking the panel; the
// lateness of a 10 ms probe timer in the second. Beside the panel's CPU share
// stands that of a bare poll()/read() loop on the same flood (its own program),
// as a ratio: the wake-ups alone cost that much on this machine at this moment.
//
//   koru-bench-flood --host PATH --sim PATH --bare-read PATH [--seconds N]
// N defaults to KORU_BENCH_FLOOD_SECONDS, else 60.
#include "common/childprocess.h"
#include "common/resultrow.h"
#include "drivers/options.h"
#include "probe/clock.h"

#include <algorithm>
#include <optional>
#include <csignal>
#include <fstream>

using namespace koru::bench;
using namespace std::chrono_literals;

namespace {

constexpr double kCpuTargetPercent = 5.0;
constexpr double kLatenessTargetMs = 5.0;
constexpr double kGrowthTargetKiB = 1024.0;
constexpr double kBareRatioTarget = 2.0;
constexpr double kLineRate = 1920.0; // characters a second at 19200 baud, 8N1

// Bytes a process has written so far (/proc/PID/io, wchar); -1 if unreadable.
long long bytesWritten(pid_t pid)
{
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value) {
        if (key == "wchar:")
            return value;
    }
    return -1;
}

// The CPU share of one core the bare reader used on `device` over `window`.
std::optional<double> bareReaderPercent(const std::string &barePath, const std::string &device,
                                        std::chrono::seconds window)
{
    ChildProcess bare;
    if (!bare.start({ barePath, "--device", device, "--seconds", std::to_string(window.count()) }))
        return std::nullopt;
    const std::string output = bare.readRest(window + 30s);
    const auto values = parseKeyValues(output);
    const auto cpu = numberOf(values, "cpu_ms");
    const auto wall = numberOf(values, "wall_ms");
    if (bare.wait() != 0 || !cpu || !wall || *wall <= 0)
        return std::nullopt;
    return *cpu / *wall * 100.0;
}

struct Paths
{
    std::string host;
    std::string sim;
    std::string bareRead;
};

// `bareShare`: measured in the first case, before the panel takes the line
// (it holds it exclusively), and compared with in both.
bool runCase(const Paths &paths, long seconds, const std::string &hold, std::optional<double> &bareShare)
{
    const std::string &hostPath = paths.host;
    const std::string &simPath = paths.sim;
    const std::string label = hold.empty() ? "Flood at 19200 baud, panel idle"
                                           : "Flood at 19200 baud, " + hold + " held (250 ms repeat)";
    ChildProcess sim;
    const std::optional<std::string> device = startSimulator(sim, { simPath, "--flood" });
    if (!device)
        return false;

    if (!bareShare) {
        const std::chrono::seconds window(std::min(seconds, 20L));
        bareShare = bareReaderPercent(paths.bareRead, *device, window);
        if (bareShare)
            printInfoRow("Flood at 19200 baud: a bare poll()/read() loop on the same line",
                         format("%.2f%% of one core (over %lld s)", *bareShare, static_cast<long long>(window.count())),
                         "the cost of the wake-ups alone, for comparison");
        else
            note("%s: the bare reader failed", label.c_str());
    }

    ChildProcess host;
    std::vector<std::string> argv { hostPath, "--com1", *device, "--probe", std::to_string(seconds) };
    if (!hold.empty()) {
        argv.push_back("--hold");
        argv.push_back(hold);
    }
    if (!host.start(argv)) {
        note("cannot start %s", hostPath.c_str());
        return false;
    }
    const std::optional<std::string> started = host.readLine(60s);
    if (!started || *started != "measuring=1") {
        note("%s: the panel did not start", label.c_str());
        return false;
    }
    const long long writtenBefore = bytesWritten(sim.pid());
    const std::int64_t before = monotonicNs();
    std::string output;
    std::int64_t after = 0;
    long long writtenAfter = -1;
    while (const std::optional<std::string> line = host.readLine(std::chrono::seconds(seconds + 60))) {
        if (*line == "phase=probe") { // the panel's first window has just closed
            writtenAfter = bytesWritten(sim.pid());
            after = monotonicNs();
        }
        output += *line + "\n";
    }
    const int hostStatus = host.wait();
    sim.stop(SIGTERM);

    const auto values = parseKeyValues(output);
    const auto wall = numberOf(values, "wall_ms");
    const auto cpu = numberOf(values, "cpu_ms");
    const auto rss0 = numberOf(values, "rss_before_kib");
    const auto rss1 = numberOf(values, "rss_after_kib");
    const auto p50 = numberOf(values, "late_p50_ms");
    const auto p99 = numberOf(values, "late_p99_ms");
    const auto max = numberOf(values, "late_max_ms");
    const auto notifications = numberOf(values, "notifications");
    const auto cpuWithProbe = numberOf(values, "cpu_with_probe_ms");
    if (hostStatus != 0 || !wall || !cpu || !rss0 || !rss1 || !p50 || !p99 || !max || !notifications) {
        note("%s: the panel host failed (status %d)", label.c_str(), hostStatus);
        return false;
    }

    const double share = *cpu / *wall * 100.0;
    printRow(label + ": panel CPU share",
             format("%.2f%% of one core (%.0f ms in %.1f s)", share, *cpu, *wall / 1000.0),
             format("< %.0f%%", kCpuTargetPercent), share < kCpuTargetPercent);
    if (bareShare && *bareShare > 0) {
        const double ratio = share / *bareShare;
        printRow(label + ": panel CPU share against the bare poll()/read() loop",
                 format("ratio %.2f (panel %.2f%%, bare loop %.2f%%)", ratio, share, *bareShare),
                 format("ratio <= %.1f", kBareRatioTarget), ratio <= kBareRatioTarget);
    }
    printRow(label + ": 10 ms probe timer lateness",
             format("p50 %.3f ms, p99 %.3f ms, max %.1f ms (CPU with the probe %.2f%%)", *p50, *p99, *max,
                    cpuWithProbe.value_or(0) / *wall * 100.0),
             format("p99 < %.0f ms", kLatenessTargetMs), *p99 < kLatenessTargetMs);
    const double growth = *rss1 - *rss0;
    printRow(label + ": resident memory growth",
             format("%+.0f KiB (%.0f to %.0f KiB)", growth, *rss0, *rss1),
             format("< %.0f KiB", kGrowthTargetKiB), growth < kGrowthTargetKiB);
    if (writtenBefore >= 0 && writtenAfter >= 0 && after > before) {
        const double span = double(after - before) / 1e9;
        printInfoRow(label + ": what the flood delivered",
                     format("%.0f chars/s; %.0f notifications/s", double(writtenAfter - writtenBefore) / span,
                            *notifications / (*wall / 1000.0)),
                     format("line rate %.0f chars/s", kLineRate));
    }
    note("%s: receive buffer %.0f chars at the end, %.0f warnings", label.c_str(),
         numberOf(values, "recv_text_chars").value_or(-1), numberOf(values, "warnings").value_or(-1));
    if (values.count("rss_trace_kib"))
        note("%s: resident KiB every 5 s: %s", label.c_str(), values.at("rss_trace_kib").c_str());
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    const Paths paths { option(argc, argv, "--host"), option(argc, argv, "--sim"), option(argc, argv, "--bare-read") };
    const long seconds = std::strtol(
        option(argc, argv, "--seconds", std::to_string(environmentNumber("KORU_BENCH_FLOOD_SECONDS", 60))).c_str(),
        nullptr, 10);
    if (paths.host.empty() || paths.sim.empty() || paths.bareRead.empty() || seconds <= 0) {
        note("usage: koru-bench-flood --host PATH --sim PATH --bare-read PATH [--seconds N]");
        return 2;
    }
    note("flood: two windows of %ld s per case: CPU and memory, then the probe timer", seconds);
    std::optional<double> bareShare;
    const bool idle = runCase(paths, seconds, {}, bareShare);
    const bool holding = runCase(paths, seconds, "Command1", bareShare);
    return idle && holding ? 0 : 1;
}
