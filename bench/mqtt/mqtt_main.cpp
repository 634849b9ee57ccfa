// koru-bridge on a real broker with 1, 10 and 50 simulated projectors:
// publish to a /set topic -> frame on the projector's wire (p50/p99), the
// daemon's CPU with the default polling, and its resident memory.
#include "bridge/mqtt/mqttclient.h"
#include "common/resultrow.h"
#include "common/stats.h"
#include "sim/projectorsim.h"
#include "support/mosquittobroker.h"
#include "support/ser2netgateway.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <memory>
#include <vector>

using namespace koru;

namespace {

// A smoke run (--smoke) takes a few samples and a short window: it checks
// that every row still prints, and its figures mean nothing.
int kSamples = 200;
int kCpuWindowMs = 30000; // long enough for every poll kind of the defaults

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double rssMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.simplified().split(' ').value(1).toDouble() / 1024.0;
    }
    return 0;
}

void run(int projectors, test::MosquittoBroker &broker)
{
    std::vector<std::unique_ptr<sim::ProjectorSim>> sims;
    QString config;
    quint16 firstRawPort = 0;
    for (int i = 0; i < projectors; ++i) {
        sims.push_back(std::make_unique<sim::ProjectorSim>(sim::SimOptions {}));
        sims.back()->start();
        const quint16 rawPort = test::freeLoopbackPort();
        firstRawPort = firstRawPort ? firstRawPort : rawPort;
        config += QStringLiteral("[projector p%1]\nport = %2\nraw = 127.0.0.1:%3\n").arg(i).arg(sims.back()->devicePath()).arg(rawPort);
    }
    config += QStringLiteral("[mqtt]\nhost = 127.0.0.1\nport = %1\nclient-id = bench-%2\n").arg(broker.port()).arg(projectors);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("bridge.conf")));
    file.open(QIODevice::WriteOnly);
    file.write(config.toUtf8());
    file.close();
    QProcess bridge;
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(QStringLiteral(KORU_BRIDGE_PATH), { QStringLiteral("--config"), file.fileName() });

    bridge::MqttConfig mqtt;
    mqtt.host = QStringLiteral("127.0.0.1");
    mqtt.port = broker.port();
    mqtt.clientId = QStringLiteral("bench-publisher");
    bridge::MqttClient client(mqtt);
    int online = 0;
    QObject::connect(&client, &bridge::MqttClient::messageReceived, &client,
                     [&online](const QByteArray &, const QByteArray &payload) { online += payload == "online"; });
    client.subscribe("koru/+/availability");
    client.start();
    if (!QTest::qWaitFor([&] { return online >= projectors; }, 30000)) {
        bench::note("%d projectors: only %d came online", projectors, online);
        return;
    }

    // Publish -> frame on the wire, on the first projector, mute on and off
    // in turn so that each request is a new frame.
    // The simulators live in this process: the event loop must be running
    // (not QTest::qWaitFor, which sleeps 10 ms between looks) when the frame
    // arrives, or the wait itself is what gets measured.
    std::vector<double> latencies;
    QElapsedTimer clock;
    QEventLoop waiting;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &waiting, &QEventLoop::quit);
    QObject::connect(sims.front().get(), &sim::ProjectorSim::frameReceived, &client, [&](const QByteArray &frame) {
        if (frame.startsWith("C0B") || frame.startsWith("C0C")) {
            latencies.push_back(clock.nsecsElapsed() / 1e6);
            waiting.quit();
        }
    });
    const auto awaitFrame = [&] {
        limit.start(2000);
        waiting.exec();
        limit.stop();
    };
    for (int i = 0; i < kSamples; ++i) {
        const size_t before = latencies.size();
        clock.start();
        client.publish("koru/p0/audio_mute/set", i % 2 ? "OFF" : "ON", false);
        if (latencies.size() == before)
            awaitFrame();
        QTest::qWait(150); // the status poll after the command, answered after the reply delay
    }
    const bench::Summary wire = bench::summarize(latencies);
    // The same frame through the bridge's raw port: the floor of the path
    // without MQTT (bridge, line, simulator).
    std::vector<double> mqttLatencies;
    mqttLatencies.swap(latencies);
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, firstRawPort);
    (void)QTest::qWaitFor([&raw] { return raw.state() == QAbstractSocket::ConnectedState; }, 3000);
    for (int i = 0; i < kSamples; ++i) {
        const size_t before = latencies.size();
        clock.start();
        raw.write(i % 2 ? "C0C\r" : "C0B\r");
        if (latencies.size() == before)
            awaitFrame();
        QTest::qWait(150);
        raw.readAll();
    }
    const bench::Summary floor = bench::summarize(latencies);
    bench::printInfoRow(bench::format("Raw port to wire, same bridge, %d projector(s)", projectors),
                        bench::format("p50 %.3f ms, p99 %.3f ms (n=%zu)", floor.p50, floor.p99, floor.count),
                        "the path without MQTT");
    bench::printRow(bench::format("MQTT /set to wire, %d projector(s)", projectors),
                    bench::format("p50 %.3f ms, p99 %.3f ms (n=%zu)", wire.p50, wire.p99, wire.count), "p50 < 2 ms",
                    wire.p50 < 2.0);

    const double cpuBefore = cpuSeconds(bridge.processId());
    QTest::qWait(kCpuWindowMs);
    const double share = (cpuSeconds(bridge.processId()) - cpuBefore) / (kCpuWindowMs / 1000.0) * 100.0;
    bench::printRow(bench::format("MQTT bridge CPU, default polling, %d projector(s)", projectors),
                    bench::format("%.3f %% of a core, %.4f %% per projector", share, share / projectors),
                    "< 0.05 % per projector", share / projectors < 0.05);
    const double rss = rssMiB(bridge.processId());
    bench::printRow(bench::format("MQTT bridge resident memory, %d projector(s)", projectors), bench::format("%.1f MiB", rss),
                    bench::format("< %.1f MiB", 30 + 0.2 * projectors), rss < 30 + 0.2 * projectors);
    bridge.terminate();
    bridge.waitForFinished(5000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    test::MosquittoBroker broker;
    if (!broker.start()) {
        bench::note("mosquitto: %s", qPrintable(broker.error()));
        return 1;
    }
    QStringList counts = app.arguments().mid(1);
    if (counts.removeAll(QStringLiteral("--smoke")) > 0) {
        kSamples = 5;
        kCpuWindowMs = 1000;
        if (counts.isEmpty())
            counts << QStringLiteral("1");
    }
    for (int projectors : counts.isEmpty() ? QList<int> { 1, 10, 50 } : QList<int> { counts.first().toInt() })
        run(projectors, broker);
    return 0;
}
