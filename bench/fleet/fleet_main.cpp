// koru-bridge holding many lines at once, as a site's central bridge does:
//
// - 200 projectors, each a simulator on its own pseudo-terminal, at the
//   default polling: the daemon's CPU share per projector and its resident
//   memory over a window.
// - 50 projectors behind ser2net (tcp:// and rfc2217://, half each), 5 of
//   whose gateways never answer: the PJLink POWR ? round trip of the 45
//   healthy ones, while the bridge keeps trying the 5.
//
// The simulators live in this process; the bridge is a program of its own.
// Every wait runs the event loop (never QTest::qWaitFor, which sleeps 10 ms
// between looks), so a reply is taken the moment it arrives.
//
//   koru-bench-fleet --bridge PATH [--seconds N] [--smoke]
#include "common/childprocess.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "drivers/options.h"
#include "sim/projectorsim.h"
#include "support/ser2netgateway.h"
#include "support/silentgateway.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace koru;
using namespace std::chrono_literals;

namespace {

constexpr int kFleet = 200;
constexpr double kCpuPerProjectorTargetPercent = 0.03;
constexpr double kRssTargetMiB = 40.0;
// The bridge's default STATUS poll: a window at least this long sees every
// line polled, and says so when one was not.
constexpr auto kStatusPoll = 5s;
constexpr int kCentral = 50;
constexpr int kSilent = 5; // of kCentral, the last ones
constexpr double kQueryP99TargetMs = 5.0;

// A "Vm..." line of /proc/PID/status, in KiB.
long statusKiB(qint64 pid, const char *key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(key) + ':'))
            return line.simplified().split(' ').value(1).toLong();
    }
    return -1;
}

// Runs the event loop until `done` holds or `limit` has passed, looking every
// millisecond; whatever `done` waits for is handled the moment it arrives.
bool spinUntil(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > limit.count())
            loop.quit();
    });
    look.start(1);
    loop.exec();
    return done();
}

void spinFor(std::chrono::milliseconds length)
{
    QEventLoop loop;
    QTimer::singleShot(length, &loop, &QEventLoop::quit);
    loop.exec();
}

// Free loopback ports for listeners, none handed out twice: the bridge
// refuses a configuration whose listeners collide.
class DistinctPorts
{
public:
    quint16 next()
    {
        quint16 port = 0;
        do
            port = test::freeLoopbackPort();
        while (!m_given.insert(port).second);
        return port;
    }

private:
    std::set<quint16> m_given;
};

// The bridge on a configuration file of its own, its log on our standard error.
class Bridge
{
public:
    Bridge(const QString &path, const QString &config)
    {
        QFile file(m_dir.filePath(QStringLiteral("bridge.conf")));
        file.open(QIODevice::WriteOnly);
        file.write(config.toUtf8());
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(path, { QStringLiteral("--config"), file.fileName() });
    }
    ~Bridge()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// 200 simulators behind one bridge at its default polling, nothing else
// asking: what the polling alone costs.
bool fleet(const QString &bridgePath, std::chrono::seconds window)
{
    std::vector<std::unique_ptr<sim::ProjectorSim>> sims;
    DistinctPorts ports;
    QString config;
    for (int i = 0; i < kFleet; ++i) {
        sims.push_back(std::make_unique<sim::ProjectorSim>(sim::SimOptions {}));
        QString error;
        if (!sims.back()->start(&error)) {
            bench::note("fleet: simulator %d did not start: %s", i + 1, qPrintable(error));
            return false;
        }
        // A PJLink listener each, as a site's bridge has; nobody connects.
        config += QStringLiteral("[projector p%1]\nport = %2\npjlink = 127.0.0.1:%3\n")
                      .arg(i)
                      .arg(sims.back()->devicePath())
                      .arg(ports.next());
    }
    Bridge bridge(bridgePath, config);
    // Every line opened and read once before the window: start-up is not polling.
    const bool allRead = spinUntil(
        [&] {
            return !bridge.running()
                || std::all_of(sims.begin(), sims.end(), [](const auto &s) { return s->framesReceived() > 0; });
        },
        30s);
    if (!bridge.running() || !allRead) {
        bench::note("fleet: the bridge did not read all %d projectors", kFleet);
        return false;
    }
    // And one round of STATUS polls more: the first reads of every line
    // (MODE and LAMP TIME among them) are start-up too.
    spinFor(kStatusPoll + 1s);
    std::vector<qint64> framesBefore;
    for (const auto &s : sims)
        framesBefore.push_back(s->framesReceived());
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = koru::bench::processCpuMs(bridge.pid());
    spinFor(window);
    const double cpu = koru::bench::processCpuMs(bridge.pid()) - cpuBefore;
    const double seconds = clock.nsecsElapsed() / 1e9;
    const long rss = statusKiB(bridge.pid(), "VmRSS");
    const long peak = statusKiB(bridge.pid(), "VmHWM");
    qint64 frames = 0;
    int silentLines = 0;
    for (size_t i = 0; i < sims.size(); ++i) {
        const qint64 polled = sims[i]->framesReceived() - framesBefore[i];
        frames += polled;
        silentLines += polled == 0;
    }
    const double share = cpu / (seconds * 1000.0) * 100.0;
    const double perProjector = share / kFleet;
    std::string measured = bench::format("%.4f %% per projector (%.2f %% of a core; %lld poll frames in %.0f s)",
                                         perProjector, share, static_cast<long long>(frames), seconds);
    const bool everyLineSeen = window < kStatusPoll || silentLines == 0;
    if (!everyLineSeen)
        measured += bench::format("; %d lines not polled in the window", silentLines);
    bench::printRow(bench::format("koru-bridge: CPU, %d projectors on their own ptys, default polling", kFleet),
                    measured, bench::format("< %.2f %% per projector", kCpuPerProjectorTargetPercent),
                    everyLineSeen && perProjector < kCpuPerProjectorTargetPercent);
    bench::printRow(bench::format("koru-bridge: resident memory, %d projectors", kFleet),
                    bench::format("%.1f MiB (peak %.1f MiB)", rss / 1024.0, peak / 1024.0),
                    bench::format("< %.0f MiB", kRssTargetMiB), rss > 0 && rss / 1024.0 < kRssTargetMiB);
    return true;
}

// A PJLink controller on one projector's listener: connected, past the
// greeting, and timing one request at a time with the event loop running.
class Controller
{
public:
    bool connectTo(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return !readLine(3s).isEmpty() && m_socket.state() == QAbstractSocket::ConnectedState;
    }
    // The reply to "%1" + `command`, and how long it took in milliseconds.
    QByteArray request(const QByteArray &command, double *ms)
    {
        QElapsedTimer clock;
        clock.start();
        m_socket.write("%1" + command + '\r');
        const QByteArray reply = readLine(3s);
        *ms = clock.nsecsElapsed() / 1e6;
        return reply;
    }

private:
    QByteArray readLine(std::chrono::milliseconds limit)
    {
        if (!m_socket.canReadLine() && !m_buffer.contains('\r')) {
            QEventLoop loop;
            QTimer timeout;
            timeout.setSingleShot(true);
            QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
            QObject::connect(&m_socket, &QTcpSocket::readyRead, &loop, [&] {
                m_buffer += m_socket.readAll();
                if (m_buffer.contains('\r'))
                    loop.quit();
            });
            QObject::connect(&m_socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
            timeout.start(limit);
            loop.exec();
        }
        m_buffer += m_socket.readAll();
        const qsizetype cr = m_buffer.indexOf('\r');
        if (cr < 0)
            return {};
        const QByteArray line = m_buffer.left(cr + 1);
        m_buffer.remove(0, cr + 1);
        return line;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
};

// One bridge for 50 gateways: 45 real ser2net (tcp:// and rfc2217:// in turn)
// before simulators, 5 that never answer (accepting and silent, or never
// completing the connect). POWR ? of the healthy 45, in turn, timed from the
// write to the reply's CR.
bool central(const QString &bridgePath, int rounds)
{
    if (!test::Ser2NetGateway::isInstalled()) {
        bench::note("central: ser2net is not installed");
        return false;
    }
    const int healthy = kCentral - kSilent;
    std::vector<std::unique_ptr<sim::ProjectorSim>> sims;
    std::vector<std::unique_ptr<test::Ser2NetGateway>> gateways;
    std::vector<std::unique_ptr<test::SilentGateway>> silent;
    std::vector<QString> addresses;
    std::vector<quint16> pjlinkPorts;
    DistinctPorts ports;
    QString config;
    for (int i = 0; i < kCentral; ++i) {
        const bool tcp = i % 2 == 0;
        QString address;
        if (i < healthy) {
            sims.push_back(std::make_unique<sim::ProjectorSim>(sim::SimOptions {}));
            gateways.push_back(std::make_unique<test::Ser2NetGateway>());
            if (!sims.back()->start()
                || !gateways.back()->start(sims.back()->devicePath(),
                                           tcp ? test::Ser2NetGateway::Mode::RawTcp
                                               : test::Ser2NetGateway::Mode::Rfc2217)) {
                bench::note("central: gateway %d did not start: %s", i + 1, qPrintable(gateways.back()->error()));
                return false;
            }
            address = gateways.back()->address();
        } else {
            // Two that never complete the connect, three that accept and stay
            // silent, across both schemes.
            silent.push_back(std::make_unique<test::SilentGateway>(i - healthy < 2));
            if (!silent.back()->port()) {
                bench::note("central: silent gateway %d could not listen", i + 1);
                return false;
            }
            address = QStringLiteral("%1://127.0.0.1:%2")
                          .arg(tcp ? QStringLiteral("tcp") : QStringLiteral("rfc2217"))
                          .arg(silent.back()->port());
        }
        addresses.push_back(address);
    }
    // The listeners' ports once every gateway listens, so that no ser2net
    // starting later takes one of them first.
    for (int i = 0; i < kCentral; ++i) {
        pjlinkPorts.push_back(ports.next());
        config += QStringLiteral("[projector p%1]\nport = %2\npjlink = 127.0.0.1:%3\n")
                      .arg(i)
                      .arg(addresses[size_t(i)])
                      .arg(pjlinkPorts.back());
    }
    Bridge bridge(bridgePath, config);
    // Every healthy line read once: before that POWR ? has nothing to tell.
    const bool allRead = spinUntil(
        [&] {
            return !bridge.running()
                || std::all_of(sims.begin(), sims.end(), [](const auto &s) { return s->framesReceived() > 0; });
        },
        30s);
    if (!bridge.running() || !allRead) {
        bench::note("central: the bridge did not read all %d healthy projectors", healthy);
        return false;
    }
    std::vector<std::unique_ptr<Controller>> controllers;
    for (int i = 0; i < healthy; ++i) {
        controllers.push_back(std::make_unique<Controller>());
        if (!controllers.back()->connectTo(pjlinkPorts[size_t(i)])) {
            bench::note("central: no PJLink greeting from projector %d", i + 1);
            return false;
        }
    }
    // The model filled in: each answers its power state, not ERR3. (Asked
    // here, not from spinUntil's look: a request runs an event loop of its
    // own, which would run the look again inside itself.)
    QElapsedTimer waited;
    waited.start();
    double ignored = 0;
    for (size_t i = 0; i < controllers.size(); ++i) {
        while (!controllers[i]->request("POWR ?", &ignored).startsWith("%1POWR=0")) {
            if (waited.elapsed() > 30000) {
                bench::note("central: projector %zu did not tell its power state", i + 1);
                return false;
            }
            spinFor(100ms);
        }
    }
    std::vector<double> times;
    int wrong = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const auto &c : controllers) {
            double ms = 0;
            const QByteArray reply = c->request("POWR ?", &ms);
            if (reply != "%1POWR=0\r") {
                ++wrong;
                bench::note("central: POWR ? answered \"%s\"", reply.trimmed().constData());
                continue;
            }
            times.push_back(ms);
        }
        spinFor(20ms); // the bridge's polls and the gateways' retries run between rounds
    }
    const bench::Summary s = bench::summarize(times);
    std::string measured = bench::format("p99 %.3f ms, p50 %.3f ms (n=%zu)", s.p99, s.p50, s.count);
    if (wrong)
        measured += bench::format("; %d wrong or missing answers", wrong);
    bench::printRow(bench::format("koru-bridge: POWR ? round trip, %d projectors behind ser2net (tcp:// and rfc2217://), "
                                  "%d of their gateways silent; the %d healthy",
                                  kCentral, kSilent, healthy),
                    measured, bench::format("p99 < %.0f ms", kQueryP99TargetMs),
                    wrong == 0 && s.p99 < kQueryP99TargetMs);
    bench::note("central: POWR ? max %.3f ms, mean %.3f ms", s.max, s.mean);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool smoke = bench::flag(argc, argv, "--smoke");
    const QString bridgePath = QString::fromStdString(bench::option(argc, argv, "--bridge"));
    const int seconds = std::stoi(bench::option(argc, argv, "--seconds", smoke ? "6" : "60"));
    if (bridgePath.isEmpty() || seconds <= 0) {
        bench::note("usage: koru-bench-fleet --bridge PATH [--seconds N] [--smoke]");
        return 2;
    }
    bool ok = fleet(bridgePath, std::chrono::seconds(seconds));
    ok = central(bridgePath, smoke ? 2 : 20) && ok;
    return ok ? 0 : 1;
}
