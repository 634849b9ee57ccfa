// Repeat accuracy: each repeat period the panel can produce, held with the
// event loop running, timed at the far end of the line by a separate process.
#include "common/ptyfarend.h"
#include "common/resultrow.h"
#include "harness/benchpanel.h"
#include "layout/panelbutton.h"
#include "panel/form1.h"
#include "probe/clock.h"
#include "repeat/framerecorder.h"
#include "repeat/repeatanalysis.h"
#include "serial/mscomm.h"
#include "serial/transport.h"

#include <QApplication>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>

#include <termios.h>

using namespace koru::bench;
using namespace std::chrono_literals;

namespace {

constexpr double kRateTolerancePercent = 2.0;
constexpr double kDeviationP99TargetMs = 1.0;

struct Scenario
{
    const char *how;                 // for the table
    std::chrono::milliseconds period;
    const char *hold;                // the button held
    std::function<void(BenchPanel &)> prepare;
};

void pressAndRelease(BenchPanel &panel, const char *control)
{
    koru::PanelButton *button = panel.button(control);
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

std::vector<Scenario> scenarios()
{
    return {
        { "arrow Command5 in mode 3 (after D.Zoom release)", 5ms, "Command5",
          [](BenchPanel &p) { pressAndRelease(p, "Command48"); } },
        { "Zoom + Command15", 50ms, "Command15", nullptr },
        { "arrow Command5 after MENU ON", 200ms, "Command5",
          [](BenchPanel &p) { QTest::mouseClick(p.button("Command23"), Qt::LeftButton); } },
        { "VOL + Command1", 250ms, "Command1", nullptr },
        { "SELECT Command6", 500ms, "Command6", nullptr },
    };
}

// Long enough for thirty intervals, and never under two and a half seconds.
std::chrono::milliseconds holdTime(std::chrono::milliseconds period)
{
    return std::max<std::chrono::milliseconds>(2500ms, 30 * period);
}

// The operator's way: COM shows the settings panel, the speed is clicked.
bool chooseSpeed(BenchPanel &panel, int baud)
{
    koru::Form1 &form = panel.form();
    QTest::mouseClick(panel.button("Command33"), Qt::LeftButton);
    runEventLoopFor(50ms);
    QTest::mouseClick(baud == 9600 ? form.Option4 : form.Option3, Qt::LeftButton);
    runEventLoopFor(50ms);
    // The speed the kernel has for the line, not what the panel believes.
    const koru::Transport *line = form.MSComm1->transport();
    termios tio {};
    if (!line || ::tcgetattr(line->nativeHandle(), &tio) != 0)
        return false;
    return cfgetospeed(&tio) == (baud == 9600 ? speed_t(B9600) : speed_t(B19200));
}

void run(BenchPanel &panel, FrameRecorder &recorder, const Scenario &s, int baud)
{
    if (s.prepare)
        s.prepare(panel);
    runEventLoopFor(300ms);
    recorder.collect(); // forget whatever the preparation sent

    koru::PanelButton *button = panel.button(s.hold);
    const std::int64_t pressNs = monotonicNs();
    QTest::mousePress(button, Qt::LeftButton);
    runEventLoopFor(holdTime(s.period));
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
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    PtyFarEnd pty;
    if (!pty.isValid()) {
        note("koru-bench-repeat: cannot open a pseudo-terminal");
        return 1;
    }
    FrameRecorder recorder(pty.masterFd()); // forked while still single-threaded
    if (!recorder.isRunning()) {
        note("koru-bench-repeat: cannot start the frame recorder");
        return 1;
    }
    QApplication app(argc, argv);
    BenchPanel panel(pty.slavePath());
    if (!panel.isStarted())
        return 1;

    for (const int baud : { 19200, 9600 }) {
        if (!chooseSpeed(panel, baud)) {
            note("koru-bench-repeat: the port did not take %d baud", baud);
            return 1;
        }
        for (const Scenario &s : scenarios())
            run(panel, recorder, s, baud);
    }
    chooseSpeed(panel, 19200);
    return panel.warnings() == 0 ? 0 : 1;
}
