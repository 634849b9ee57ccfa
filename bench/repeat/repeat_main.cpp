// Repeat accuracy: each repeat period the panel can produce, held with the
// event loop running, timed at the far end of the line by a separate process.
// After each hold a bare timerfd loop (a program of its own) sends as many
// frames at the same period on a line of its own, timed the same way: its
// interval deviation is the floor this machine leaves at that moment.
//
//   koru-bench-repeat --bare-timer PATH [--smoke]
//
// --smoke holds each button for three periods only: every row, no figure
// worth reading (bench/run --smoke).
#include "common/childprocess.h"
#include "common/resultrow.h"
#include "drivers/options.h"
#include "harness/benchpanel.h"
#include "layout/panelbutton.h"
#include "panel/form1.h"
#include "probe/clock.h"
#include "repeat/framerecorder.h"
#include "repeat/repeatanalysis.h"
#include "serial/mscomm.h"
#include "serial/transport.h"
#include "support/linespeed.h"
#include "support/pty.h"

#include <QApplication>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

using namespace koru::bench;
using namespace std::chrono_literals;

namespace {

constexpr double kRateTolerancePercent = 2.0;
constexpr double kDeviationP99TargetMs = 1.0;
constexpr double kBareP99MarginMs = 0.3;

// A line of its own for the bare timer loop, with its own recorder.
struct BareLine
{
    std::string program;
    koru::test::PtyPair &pty;
    FrameRecorder &recorder;
};

// The bare loop's deviation figures for `frames` frames at `period`.
std::optional<RepeatFigures> bareFigures(BareLine &bare, std::chrono::milliseconds period, std::size_t frames)
{
    bare.recorder.collect();
    ChildProcess loop;
    if (!loop.start({ bare.program, "--device", bare.pty.slavePath().toStdString(), "--period-ms",
                      std::to_string(period.count()), "--frames", std::to_string(frames) }))
        return std::nullopt;
    const int status = loop.wait();
    runEventLoopFor(100ms); // the recorder stamps what is still on its way
    const std::vector<std::int64_t> stamps = bare.recorder.collect();
    if (status != 0 || stamps.size() < 2)
        return std::nullopt;
    return analyseRepeat(stamps, stamps.front(), period);
}

struct Scenario
{
    const char *how;                 // for the table
    std::chrono::milliseconds period;
    const char *hold;                // the button held
    std::function<void(koru::test::PanelFixture &)> prepare;
};

void pressAndRelease(koru::test::PanelFixture &panel, const char *control)
{
    koru::PanelButton *button = requireButton(panel, control);
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

std::vector<Scenario> scenarios()
{
    return {
        { "arrow Command5 in mode 3 (after D.Zoom release)", 5ms, "Command5",
          [](koru::test::PanelFixture &p) { pressAndRelease(p, "Command48"); } },
        { "Zoom + Command15", 50ms, "Command15", nullptr },
        { "arrow Command5 after MENU ON", 200ms, "Command5",
          [](koru::test::PanelFixture &p) { QTest::mouseClick(requireButton(p, "Command23"), Qt::LeftButton); } },
        { "VOL + Command1", 250ms, "Command1", nullptr },
        { "SELECT Command6", 500ms, "Command6", nullptr },
    };
}

// Long enough for thirty intervals, and never under two and a half seconds;
// in a smoke run just long enough for a few frames.
std::chrono::milliseconds holdTime(std::chrono::milliseconds period, bool smoke)
{
    constexpr int kSmokePeriods = 3;
    return smoke ? kSmokePeriods * period : std::max<std::chrono::milliseconds>(2500ms, 30 * period);
}

// The operator's way: COM shows the settings panel, the speed is clicked.
bool chooseSpeed(koru::test::PanelFixture &panel, int baud)
{
    koru::Form1 &form = *panel.form;
    QTest::mouseClick(requireButton(panel, "Command33"), Qt::LeftButton);
    runEventLoopFor(50ms);
    QTest::mouseClick(baud == 9600 ? form.Option4 : form.Option3, Qt::LeftButton);
    runEventLoopFor(50ms);
    // The speed the kernel has for the line, not what the panel believes.
    const koru::Transport *line = form.MSComm1->transport();
    return line && koru::test::lineSpeed(line->nativeHandle()) == (baud == 9600 ? speed_t(B9600) : speed_t(B19200));
}

void run(koru::test::PanelFixture &panel, FrameRecorder &recorder, BareLine &bare, const Scenario &s, int baud,
         bool smoke)
{
    if (s.prepare)
        s.prepare(panel);
    runEventLoopFor(300ms);
    recorder.collect(); // forget whatever the preparation sent

    koru::PanelButton *button = requireButton(panel, s.hold);
    const std::int64_t pressNs = monotonicNs();
    QTest::mousePress(button, Qt::LeftButton);
    runEventLoopFor(holdTime(s.period, smoke));
    QTest::mouseRelease(button, Qt::LeftButton);
    runEventLoopFor(100ms);
    const std::vector<std::int64_t> stamps = recorder.collect();

    const RepeatFigures f = analyseRepeat(stamps, pressNs, s.period);
    const std::string what = format("Repeat %lld ms at %d baud: %s", static_cast<long long>(s.period.count()),
                                    baud, s.how);
    printRow(what + ", rate",
             format("%.2f /s (%+.2f%%, %zu frames)", f.rate, f.rateErrorPercent, f.frames),
             format("%.1f /s within %.0f%%", f.idealRate, kRateTolerancePercent),
             f.frames >= 2 && std::abs(f.rateErrorPercent) < kRateTolerancePercent);
    printRow(what + ", interval deviation",
             format("p50 %.3f ms, p99 %.3f ms", f.deviationMs.p50, f.deviationMs.p99),
             format("p99 < %.0f ms", kDeviationP99TargetMs),
             f.frames >= 2 && f.deviationMs.p99 < kDeviationP99TargetMs);
    note("%s: max deviation %.3f ms, first frame %.3f ms after the press", what.c_str(), f.deviationMs.max,
         f.firstFrameMs);

    const std::optional<RepeatFigures> floor = bareFigures(bare, s.period, f.frames);
    if (!floor) {
        note("%s: the bare timer loop failed", what.c_str());
        return;
    }
    const double over = f.deviationMs.p99 - floor->deviationMs.p99;
    printRow(what + ", interval deviation p99 against a bare timerfd loop",
             format("%+.3f ms (panel p99 %.3f ms, bare loop p99 %.3f ms, %zu frames)", over, f.deviationMs.p99,
                    floor->deviationMs.p99, floor->frames),
             format("within %.1f ms", kBareP99MarginMs), f.frames >= 2 && over <= kBareP99MarginMs);
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string bareTimer = option(argc, argv, "--bare-timer");
    const bool smoke = flag(argc, argv, "--smoke");
    if (bareTimer.empty()) {
        note("usage: koru-bench-repeat --bare-timer PATH [--smoke]");
        return 2;
    }
    koru::test::PtyPair pty;
    koru::test::PtyPair barePty;
    if (!pty.isValid() || !barePty.isValid()) {
        note("koru-bench-repeat: cannot open a pseudo-terminal");
        return 1;
    }
    // Forked while still single-threaded.
    FrameRecorder recorder(pty.masterFd());
    FrameRecorder bareRecorder(barePty.masterFd());
    BareLine bare { bareTimer, barePty, bareRecorder };
    if (!recorder.isRunning() || !bareRecorder.isRunning()) {
        note("koru-bench-repeat: cannot start the frame recorder");
        return 1;
    }
    QApplication app(argc, argv);
    const std::unique_ptr<koru::test::PanelFixture> panel = startBenchPanel(pty.slavePath());
    if (!panel->loaded)
        return 1;

    for (const int baud : { 19200, 9600 }) {
        if (!chooseSpeed(*panel, baud)) {
            note("koru-bench-repeat: the port did not take %d baud", baud);
            return 1;
        }
        for (const Scenario &s : scenarios())
            run(*panel, recorder, bare, s, baud, smoke);
    }
    chooseSpeed(*panel, 19200);
    return panel->reporter.count() == 0 ? 0 : 1;
}
