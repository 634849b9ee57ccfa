// koru-ctl as a script meets it: the wall time of one `koru-ctl status`
// against the simulated projector, start-up included, beside the floor the
// line and the projector set in the same run, and its peak resident memory.
//
//   koru-bench-ctl --ctl PATH --sim PATH [--runs N]
#include "common/childprocess.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "drivers/options.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

extern char **environ;

using namespace std::chrono_literals;
using namespace koru::bench;

namespace {

constexpr int kBaud = 19200;
constexpr int kReplyDelayMs = 20; // the simulator's, set on its command line below
constexpr int kFrameBytes = 4;    // "CR0" CR
constexpr int kReplyBytes = 3;    // "80" CR
constexpr double kAboveFloorTargetMs = 15;
constexpr double kResidentTargetMiB = 12;

struct Sample
{
    double wallMs = 0;
    double maxResidentMiB = 0;
    int status = -1;
};

double nowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// One run from spawn to reaped exit; its output goes to /dev/null.
Sample runOnce(const std::string &ctl, const std::string &device)
{
    std::vector<std::string> args { ctl, "--port", device, "status" };
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Sample sample;
    pid_t pid = -1;
    const double started = nowMs();
    const int spawned = posix_spawn(&pid, ctl.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return sample;
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return sample;
    sample.wallMs = nowMs() - started;
    sample.maxResidentMiB = double(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
    sample.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return sample;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string ctl = option(argc, argv, "--ctl");
    const std::string simPath = option(argc, argv, "--sim");
    const int runs = std::stoi(option(argc, argv, "--runs", "30"));
    if (ctl.empty() || simPath.empty() || runs <= 0) {
        note("usage: koru-bench-ctl --ctl PATH --sim PATH [--runs N]");
        return 2;
    }

    ChildProcess sim;
    const std::optional<std::string> device
        = startSimulator(sim, { simPath, "--delay", std::to_string(kReplyDelayMs), "--baud", std::to_string(kBaud) });
    if (!device)
        return 1;

    // What no program can beat: the frame and the reply at the line speed
    // (ten bit times a byte with start and stop bits) and the projector's delay.
    const double floorMs = double(kFrameBytes + kReplyBytes) * 10.0 * 1000.0 / kBaud + kReplyDelayMs;

    std::vector<double> walls;
    double peakResident = 0;
    runOnce(ctl, *device); // warms the page cache; not counted
    for (int i = 0; i < runs; ++i) {
        const Sample sample = runOnce(ctl, *device);
        if (sample.status != 0) {
            note("koru-ctl status ended with status %d in run %d", sample.status, i + 1);
            sim.stop(SIGTERM);
            return 1;
        }
        walls.push_back(sample.wallMs);
        peakResident = std::max(peakResident, sample.maxResidentMiB);
    }
    sim.stop(SIGTERM);

    const Summary wall = summarize(walls);
    printInfoRow("koru-ctl status: floor (7 bytes at 19200 baud + 20 ms reply delay)", format("%.1f ms", floorMs),
                 "the line and the projector, not the program");
    printRow(format("koru-ctl status: wall time above the floor, median of %d runs", runs),
             format("%.1f ms (wall %.1f ms, max %.1f ms)", wall.p50 - floorMs, wall.p50, wall.max),
             format("<= %.0f ms", kAboveFloorTargetMs), wall.p50 - floorMs <= kAboveFloorTargetMs);
    printRow("koru-ctl status: peak resident memory", format("%.1f MiB", peakResident),
             format("< %.0f MiB", kResidentTargetMiB), peakResident < kResidentTargetMiB);
    return 0;
}
