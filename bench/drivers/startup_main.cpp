// Start-up and footprint: the panel against a bare Qt window of 48 push
// buttons, each started afresh several times, alternately. Start-up runs from
// just before fork() to the first paint the child sees; footprint is the
// child's resident size once its window is shown.
//
//   koru-bench-startup --host PATH --bare PATH [--runs N]
#include "common/childprocess.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "drivers/options.h"
#include "support/pty.h"

#include <csignal>
#include <map>

using namespace koru::bench;
using namespace std::chrono_literals;

namespace {

constexpr double kRatioTarget = 1.3;

struct Run
{
    double startupMs = 0;
    double rssKiB = 0;
    std::map<std::string, double> stageMs; // start-up stages, from the fork
};

const char *const kStages[] = { "application", "look", "shown" };

std::optional<Run> startOnce(const std::vector<std::string> &argv)
{
    ChildProcess child;
    if (!child.start(argv))
        return std::nullopt;
    const std::string output = child.readRest(60s);
    const int status = child.wait();
    const auto values = parseKeyValues(output);
    const auto paint = numberOf(values, "first_paint_ns");
    const auto rss = numberOf(values, "rss_kib");
    if (status != 0 || !paint || !rss) {
        note("%s did not report its first paint (status %d)", argv[0].c_str(), status);
        return std::nullopt;
    }
    Run run { (*paint - double(child.startedNs())) / 1e6, *rss, {} };
    for (const char *stage : kStages) {
        if (const auto ns = numberOf(values, std::string("stage_") + stage + "_ns"))
            run.stageMs[stage] = (*ns - double(child.startedNs())) / 1e6;
    }
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string host = option(argc, argv, "--host");
    const std::string bare = option(argc, argv, "--bare");
    const long runs = std::strtol(option(argc, argv, "--runs", "9").c_str(), nullptr, 10);
    koru::test::PtyPair pty;
    const std::string com1 = pty.slavePath().toStdString();
    if (host.empty() || bare.empty() || runs <= 0 || !pty.isValid()) {
        note("usage: koru-bench-startup --host PATH --bare PATH [--runs N]");
        return 2;
    }

    std::vector<double> panelMs, bareMs, panelKiB, bareKiB;
    std::map<std::string, std::vector<double>> panelStages, bareStages;
    // One unmeasured start of each first, so both find the libraries in the
    // page cache alike.
    startOnce({ bare });
    startOnce({ host, "--com1", com1, "--first-paint" });
    for (long i = 0; i < runs; ++i) {
        const std::optional<Run> b = startOnce({ bare });
        const std::optional<Run> p = startOnce({ host, "--com1", com1, "--first-paint" });
        if (!b || !p)
            return 1;
        bareMs.push_back(b->startupMs);
        bareKiB.push_back(b->rssKiB);
        panelMs.push_back(p->startupMs);
        panelKiB.push_back(p->rssKiB);
        for (const auto &[stage, ms] : p->stageMs)
            panelStages[stage].push_back(ms);
        for (const auto &[stage, ms] : b->stageMs)
            bareStages[stage].push_back(ms);
        pty.readAvailable();
    }

    const double startRatio = median(panelMs) / median(bareMs);
    printRow("Start-up to first paint, panel against 48-button window",
             format("ratio %.2f (panel %.1f ms, bare %.1f ms; medians of %ld; panel p99 %.1f ms)", startRatio,
                    median(panelMs), median(bareMs), runs, percentile(panelMs, 99)),
             format("ratio <= %.1f", kRatioTarget), startRatio <= kRatioTarget);
    const double rssRatio = median(panelKiB) / median(bareKiB);
    printRow("Resident memory once shown, panel against 48-button window",
             format("ratio %.2f (panel %.1f MiB, bare %.1f MiB; medians of %ld)", rssRatio,
                    median(panelKiB) / 1024.0, median(bareKiB) / 1024.0, runs),
             format("ratio <= %.1f", kRatioTarget), rssRatio <= kRatioTarget);
    // Where the time goes: each stage's median time from the fork.
    const auto stages = [](const std::map<std::string, std::vector<double>> &found, double paint) {
        std::string text;
        for (const char *stage : kStages) {
            const auto it = found.find(stage);
            if (it != found.end())
                text += format("%s %.1f ms, ", stage, median(it->second));
        }
        return text + format("first paint %.1f ms", paint);
    };
    printInfoRow("Start-up stages, panel (from fork)", stages(panelStages, median(panelMs)),
                 "QApplication built; look applied; window built, port opened, shown");
    printInfoRow("Start-up stages, 48-button window (from fork)", stages(bareStages, median(bareMs)),
                 "QApplication built; window built and shown");
    return 0;
}
