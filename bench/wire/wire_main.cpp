// Click to wire: how long from a button's click (or a hold button's press)
// until its four bytes can be read at the far end of the line. The panel runs
// in this process on a real pseudo-terminal; then again through the real
// ser2net on loopback (tcp:// and rfc2217://), to show what the gateway adds,
// and through koru-bridge's raw port (with --bridge PATH).
//
//   koru-bench-wire [--bridge PATH]
#include "common/childprocess.h"
#include "common/loopback.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "harness/benchpanel.h"
#include "drivers/options.h"
#include "layout/panelbutton.h"
#include "sim/projectorstate.h"
#include "support/pty.h"
#include "support/ser2netgateway.h"
#include "wire/wirelatency.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <vector>

using namespace koru::bench;
using namespace std::chrono_literals;

namespace {

constexpr double kP50TargetMs = 0.3;
constexpr double kP99TargetMs = 1.0;
constexpr double kGatewayAddedP50TargetMs = 0.5;

int sampleCount()
{
    const char *text = std::getenv("KORU_BENCH_WIRE_SAMPLES");
    const int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 500;
}

enum class Gesture {
    Click,   // press and release back to back (QTest::mouseClick), timed from the press
    Release, // the press delivered and painted first, as a hand would; timed from the release
    Press,   // a hold button's press
    Api,     // QAbstractButton::click(): the click signal without mouse events or painting
};

struct Case
{
    const char *what;
    const char *control;
    const char *frame; // the bytes the far end must see
    Gesture gesture;
};

Summary measure(koru::test::PanelFixture &panel, koru::test::PtyPair &pty, const Case &c, int samples, bool print = true)
{
    koru::PanelButton *button = requireButton(panel, c.control);
    const auto act = [button, gesture = c.gesture] {
        if (gesture == Gesture::Click)
            QTest::mouseClick(button, Qt::LeftButton);
        else if (gesture == Gesture::Release)
            QTest::mouseRelease(button, Qt::LeftButton);
        else if (gesture == Gesture::Api)
            button->click();
        else
            QTest::mousePress(button, Qt::LeftButton);
    };
    std::vector<double> times;
    int wrong = 0;
    int missing = 0;
    const int warmUp = 20;
    for (int i = 0; i < warmUp + samples; ++i) {
        if (c.gesture == Gesture::Release) {
            QTest::mousePress(button, Qt::LeftButton);
            runEventLoopFor(2ms); // the pressed look is painted, as between a real press and release
        }
        pty.readAvailable();
        const std::optional<WireSample> sample = timeToWire(pty.masterFd(), act, 4);
        if (c.gesture == Gesture::Press)
            QTest::mouseRelease(button, Qt::LeftButton);
        // Painting and the monitor timers run here, between samples, as they
        // would after a real click.
        runEventLoopFor(3ms);
        if (i < warmUp)
            continue;
        if (!sample) {
            ++missing;
            continue;
        }
        if (sample->bytes != c.frame)
            ++wrong;
        times.push_back(sample->milliseconds);
    }
    const Summary s = summarize(times);
    if (!print)
        return missing || wrong ? Summary {} : s;
    const bool pass = missing == 0 && wrong == 0 && s.p50 < kP50TargetMs && s.p99 < kP99TargetMs;
    std::string measured = format("p50 %.3f ms, p99 %.3f ms (n=%zu)", s.p50, s.p99, s.count);
    if (missing || wrong)
        measured += format("; %d missing, %d wrong frames", missing, wrong);
    printRow(c.what, measured, format("p50 < %.1f ms, p99 < %.0f ms", kP50TargetMs, kP99TargetMs), pass);
    note("%s: max %.3f ms, mean %.3f ms", c.what, s.max, s.mean);
    return s;
}

// The same click through ser2net on loopback, against the direct pty's p50.
bool measureGateway(koru::test::PtyPair &pty, koru::test::Ser2NetGateway::Mode mode, const char *what, double directP50,
                    int samples)
{
    koru::test::Ser2NetGateway gateway;
    if (!gateway.start(pty.slavePath(), mode)) {
        note("%s: ser2net did not start: %s", what, qPrintable(gateway.error()));
        return false;
    }
    const std::unique_ptr<koru::test::PanelFixture> panel = startBenchPanel(gateway.address());
    if (!panel->loaded)
        return false;
    const Summary s = measure(*panel, pty, { what, "Command17", "C00\r", Gesture::Api }, samples, false);
    const double added = s.p50 - directP50;
    const bool pass = s.count > 0 && added <= kGatewayAddedP50TargetMs;
    printRow(what, s.count ? format("p50 %.3f ms, %+.3f ms over the direct pty (n=%zu)", s.p50, added, s.count)
                           : std::string("frames missing or wrong"),
             format("adds < %.1f ms at p50", kGatewayAddedP50TargetMs), pass);
    return panel->reporter.count() == 0;
}

// The projector at the far end when koru-bridge holds the line: the bridge
// waits for each frame's reply (its own status polls included), so the
// benchmark answers every frame as the simulated projector would.
class FarEndProjector
{
public:
    explicit FarEndProjector(koru::test::PtyPair &pty) : m_pty(pty) { m_clock.start(); }

    void answer(const QByteArray &bytes)
    {
        const std::chrono::milliseconds now { m_clock.elapsed() };
        for (const koru::sim::Frame &frame : m_reader.feed(bytes, now))
            m_pty.write(m_state.answer(frame, now));
    }
    // Answers each frame the moment it arrives while the event loop runs for
    // `duration`, so that the bridge's reply reaches the panel, and the panel
    // has handled it (painted it too), before the next sample starts. While
    // PtyPair::readFor served instead, its QTest::qWait slept between looks,
    // and the panel's handling of that reply was often still pending when
    // the next click came: the sample's processEvents() did it first, then
    // sent the click's frame, and some 3 ms of that, not the bridge, were
    // what the row measured.
    void serveFor(std::chrono::milliseconds duration)
    {
        QEventLoop loop;
        QSocketNotifier readable(m_pty.masterFd(), QSocketNotifier::Read);
        QObject::connect(&readable, &QSocketNotifier::activated, &loop, [this] { answer(m_pty.readAvailable()); });
        QTimer stop;
        stop.setTimerType(Qt::PreciseTimer);
        stop.setSingleShot(true);
        QObject::connect(&stop, &QTimer::timeout, &loop, &QEventLoop::quit);
        answer(m_pty.readAvailable());
        stop.start(duration);
        loop.exec();
    }

private:
    koru::test::PtyPair &m_pty;
    QElapsedTimer m_clock;
    koru::sim::FrameReader m_reader;
    koru::sim::ProjectorState m_state;
};

bool listening(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The same click through koru-bridge's raw port on loopback, the bridge on
// the pty as a program of its own, against the direct pty's p50. A frame of
// the bridge's own status polling that reaches the wire first spoils that
// sample; it is answered and the sample taken again.
bool measureBridge(koru::test::PtyPair &pty, const std::string &bridgePath, const char *what, double directP50,
                   int samples)
{
    const uint16_t port = freeLoopbackPort();
    ChildProcess bridge;
    if (!bridge.start({ bridgePath, "--port", pty.slavePath().toStdString(), "--raw",
                        "127.0.0.1:" + std::to_string(port) })) {
        note("%s: cannot start %s", what, bridgePath.c_str());
        return false;
    }
    FarEndProjector projector(pty);
    QElapsedTimer waited;
    waited.start();
    while (!listening(port)) {
        if (waited.elapsed() > 10000) {
            note("%s: koru-bridge did not listen on 127.0.0.1:%u", what, unsigned(port));
            return false;
        }
        projector.serveFor(20ms);
    }
    std::unique_ptr<koru::test::PanelFixture> panel
        = startBenchPanel(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
    if (!panel->loaded)
        return false;
    projector.serveFor(500ms); // the bridge's first status reads
    koru::PanelButton *button = requireButton(*panel, "Command17");

    std::vector<double> times;
    int spoiled = 0;
    int missing = 0;
    const int warmUp = 20;
    for (int i = 0; i < warmUp + samples && missing < 10;) {
        const std::optional<WireSample> sample = timeToWire(pty.masterFd(), [button] { button->click(); }, 4);
        if (!sample) {
            ++missing;
            projector.serveFor(100ms);
            continue;
        }
        projector.answer(QByteArray::fromStdString(sample->bytes));
        if (sample->bytes != "C00\r") {
            ++spoiled;
            projector.serveFor(100ms); // the poll answered, then our frame
            continue;
        }
        projector.serveFor(3ms); // the ACK back through the bridge to the panel
        if (i++ >= warmUp)
            times.push_back(sample->milliseconds);
    }
    panel.reset();
    const int status = bridge.stop(SIGTERM);
    const Summary s = summarize(times);
    const double added = s.p50 - directP50;
    const bool pass = missing == 0 && status == 0 && added <= kGatewayAddedP50TargetMs;
    std::string measured = format("p50 %.3f ms, %+.3f ms over the direct pty (n=%zu)", s.p50, added, s.count);
    if (missing)
        measured += format("; %d frames missing", missing);
    printRow(what, measured, format("adds < %.1f ms at p50", kGatewayAddedP50TargetMs), pass);
    note("%s: p99 %.3f ms, max %.3f ms; %d samples taken again after a poll frame; koru-bridge ended with %d", what,
         s.p99, s.max, spoiled, status);
    return status == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    koru::test::PtyPair pty;
    if (!pty.isValid()) {
        note("koru-bench-wire: cannot open a pseudo-terminal");
        return 1;
    }
    QApplication app(argc, argv);
    const int samples = sampleCount();
    Summary direct;
    bool ok = false;
    {
        // One panel at a time holds the line: this one goes before the gateway rows.
        const std::unique_ptr<koru::test::PanelFixture> panel = startBenchPanel(pty.slavePath());
        if (!panel->loaded)
            return 1;
        measure(*panel, pty,
                { "Click to wire: POWER ON (Command17), mouse click back to back", "Command17", "C00\r",
                  Gesture::Click },
                samples);
        measure(*panel, pty,
                { "Click to wire: POWER ON (Command17), from the release of a click", "Command17", "C00\r",
                  Gesture::Release },
                samples);
        direct = measure(*panel, pty,
                         { "Click to wire: POWER ON (Command17), QAbstractButton::click()", "Command17", "C00\r",
                           Gesture::Api },
                         samples);
        measure(*panel, pty,
                { "Click to wire: VOL + (Command1), from the press", "Command1", "C09\r", Gesture::Press }, samples);
        ok = panel->reporter.count() == 0;
    }
    ok = measureGateway(pty, koru::test::Ser2NetGateway::Mode::RawTcp,
                        "Click to wire through ser2net, tcp://: POWER ON click()", direct.p50, samples)
        && ok;
    ok = measureGateway(pty, koru::test::Ser2NetGateway::Mode::Rfc2217,
                        "Click to wire through ser2net, rfc2217://: POWER ON click()", direct.p50, samples)
        && ok;
    const std::string bridgePath = option(argc, argv, "--bridge");
    if (!bridgePath.empty()) {
        ok = measureBridge(pty, bridgePath, "Click to wire through koru-bridge's raw port: POWER ON click()",
                           direct.p50, samples)
            && ok;
    }
    return ok ? 0 : 1;
}
