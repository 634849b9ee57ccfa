// The bridge on the real broker: what a fresh subscriber finds, requests
// down to the simulator's wire, changes once, broker restart, crash, two bridges.
#include "bridge/mqtt/mqttclient.h"
#include "bridge/mqtt/mqttservice.h"
#include "support/bridgefixture.h"
#include "support/mosquittobroker.h"
#include "support/ser2netgateway.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace koru::bridge;
using koru::test::BridgeFixture;
using koru::test::MosquittoBroker;

namespace {

constexpr int kWaitMs = 5000;

MqttConfig configFor(const MosquittoBroker &broker, const QString &clientId = QStringLiteral("bridge-t"))
{
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port();
    config.clientId = clientId;
    return config;
}

// The broker, the simulator, and a bridged projector on it published there.
struct MqttFixture
{
    MqttFixture() = default;
    explicit MqttFixture(koru::bridge::BridgeTimings timings, const koru::sim::SimOptions &options = koru::test::quickProjector())
        : bridge(timings, 8, koru::bridge::kDefaultMaxConnectionsPerAddress, options)
    {
    }

    // Starts the broker (with one user when `user` is given) and publishes
    // the projector on it once `config` has been adjusted.
    bool run(const QString &user = {}, const std::function<void(MqttConfig &)> &adjust = {})
    {
        if (!broker.start(user, user) || !bridge.ready)
            return false;
        MqttConfig config = configFor(broker);
        if (adjust)
            adjust(config);
        service = std::make_unique<MqttService>(
            config, std::vector<MqttProjector> { { { QStringLiteral("room"), QStringLiteral("Room"), QString() }, bridge.projector->model() } });
        QSignalSpy connected(service->client(), &MqttClient::connected);
        return !service->start() && connected.wait(kWaitMs);
    }

    // The frames the simulator heard, polls left out.
    QStringList commandsOnTheWire() const
    {
        QStringList frames;
        for (const QList<QVariant> &frame : wire) {
            if (!frame.first().toString().startsWith(u"CR"))
                frames << frame.first().toString();
        }
        return frames;
    }

    MosquittoBroker broker;
    BridgeFixture bridge;
    QSignalSpy wire { &bridge.sim, &koru::sim::ProjectorSim::frameReceived };
    std::unique_ptr<MqttService> service;
};

// Publishes `payload` on `requestTopic` and returns the object that comes
// back on `answerTopic`; `published`, when given, starts as the request goes.
// The subscriber is known to be subscribed before the request goes: it first
// hears a retained marker on the answer topic (cleared again once it has
// heard the answer).
QJsonObject answerOf(const MosquittoBroker &broker, const QString &requestTopic, const QByteArray &payload,
                     const QString &answerTopic, QElapsedTimer *published = nullptr)
{
    broker.publish(answerTopic, "subscribed", true);
    QProcess sub;
    sub.start(QStringLiteral("mosquitto_sub"), broker.clientArguments() << "-t" << answerTopic << "-C" << "2" << "-W" << "8");
    QByteArray heard;
    const bool subscribed = QTest::qWaitFor([&] {
        heard += sub.readAllStandardOutput();
        return heard.startsWith("subscribed\n");
    }, kWaitMs);
    if (published)
        published->start();
    if (subscribed)
        broker.publish(requestTopic, payload);
    (void)QTest::qWaitFor([&sub] { return sub.state() == QProcess::NotRunning; }, 2 * kWaitMs);
    heard += sub.readAllStandardOutput();
    broker.publish(answerTopic, QByteArray(), true);
    return QJsonDocument::fromJson(heard.mid(heard.indexOf('\n') + 1)).object();
}

// The result of a command published on the projector's command topic.
QJsonObject resultOf(const MosquittoBroker &broker, const QByteArray &payload, QElapsedTimer *published = nullptr)
{
    return answerOf(broker, QStringLiteral("koru/room/command"), payload, QStringLiteral("koru/room/command/result"), published);
}

} // namespace

class TestMqttBridge : public QObject
{
    Q_OBJECT

private slots:
    void freshSubscriberFindsEverything();
    void removedProjectorCleared();
    void requests_data();
    void requests();
    void retainedRequestsIgnored_data();
    void retainedRequestsIgnored();
    void switchingOnWhileCoolingDown_data();
    void switchingOnWhileCoolingDown();
    void stateChangesPublishedOnce();
    void commandWhileTheLineIsDown();
    void commandResultTimesTheCommandAlone();
    void brokerRestart();
    void crashAndTwoBridges();
    void brokerThatNeverAnswers();
};

void TestMqttBridge::freshSubscriberFindsEverything()
{
    MqttFixture fixture;
    QVERIFY(fixture.run(QStringLiteral("koru"), [](MqttConfig &config) {
        config.username = QStringLiteral("koru");
        config.password = "koru"; // the program reads it from the password file
    }));
    MosquittoBroker &broker = fixture.broker;
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/#"), 11).join(u'|'),
                 uR"(koru/bridge/bridge-t/availability online|koru/bridge/bridge-t/projectors ["room"]|)"
                 uR"(koru/room/audio_mute OFF|koru/room/availability online|koru/room/input PC|koru/room/lamp_hours 1234|)"
                 uR"(koru/room/power off|koru/room/problem OFF|koru/room/status Stand by|koru/room/video_mute OFF)");
    const QStringList discovery = broker.receive(QStringLiteral("homeassistant/#"), 8);
    QCOMPARE(discovery.size(), 8); // the bridge's device and the projector's seven entities
    QVERIFY(discovery.filter(QStringLiteral("\"via_device\":\"bridge-t\"")).size() == 7);
}

// What the last start published for a projector since removed from the
// configuration: cleared at this start, and nothing of the others'.
void TestMqttBridge::removedProjectorCleared()
{
    MqttFixture fixture;
    MosquittoBroker &broker = fixture.broker;
    QVERIFY(fixture.run({}, [&broker](MqttConfig &) {
        broker.publish(QStringLiteral("koru/bridge/bridge-t/projectors"), R"(["room","gone"])", true);
        broker.publish(QStringLiteral("koru/gone/power"), "on", true);
        broker.publish(QStringLiteral("homeassistant/switch/koru_gone/power/config"), "{}", true);
        broker.publish(QStringLiteral("koru/other/power"), "on", true); // another bridge's
    }));
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/bridge/bridge-t/projectors"), 1, 1), QStringList(R"(koru/bridge/bridge-t/projectors ["room"])"));
    QCOMPARE(broker.receive(QStringLiteral("koru/gone/#"), 1, 1), QStringList());
    QCOMPARE(broker.receive(QStringLiteral("homeassistant/+/koru_gone/#"), 1, 1), QStringList());
    QCOMPARE(broker.receive(QStringLiteral("koru/other/#"), 1, 1), QStringList("koru/other/power on"));
}

void TestMqttBridge::requests_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("frame"); // on the wire; empty: nothing may reach it
    QTest::addColumn<QString>("said");  // in the command's result, or in the log for /set

    QTest::newRow("power on") << "koru/room/power/set" << QByteArray("ON") << "C00" << "";
    QTest::newRow("input video") << "koru/room/input/set" << QByteArray("Video") << "C07" << "";
    QTest::newRow("audio mute") << "koru/room/audio_mute/set" << QByteArray("ON") << "C0B" << "";
    QTest::newRow("video mute off") << "koru/room/video_mute/set" << QByteArray("OFF") << "C0E" << "";
    QTest::newRow("named command") << "koru/room/command" << QByteArray("vol-up") << "C09" << R"("reply_hex":"060d")";
    QTest::newRow("power lower case") << "koru/room/power/set" << QByteArray("on") << "C00" << "";
    QTest::newRow("power off with white space") << "koru/room/power/set" << QByteArray(" Off\n") << "C02" << "";
    QTest::newRow("input any case") << "koru/room/input/set" << QByteArray("video") << "C07" << "";
    QTest::newRow("command from echo") << "koru/room/command" << QByteArray("vol-up\n") << "C09" << R"("reply_hex":"060d")";
    QTest::newRow("power, no word") << "koru/room/power/set" << QByteArray("of") << "" << R"("result":"bad-request")";
    QTest::newRow("input unknown") << "koru/room/input/set" << QByteArray("HDMI") << "" << "is not one of PC, MCI, Video";
    QTest::newRow("oversized set") << "koru/room/video_mute/set" << QByteArray(4096, 'O') << "" << "over the limit";
    QTest::newRow("unknown command") << "koru/room/command" << QByteArray("self-destruct") << "" << R"("result":"bad-request")";
    QTest::newRow("oversized command") << "koru/room/command" << QByteArray(4096, 'v') << "" << "over the limit";
}

void TestMqttBridge::requests()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, frame);
    QFETCH(QString, said);

    MqttFixture fixture;
    QVERIFY(fixture.run());
    QSignalSpy notices(fixture.service.get(), &MqttService::notice);
    QString heard;
    if (topic.endsWith(u"command")) {
        heard = QString::fromUtf8(QJsonDocument(resultOf(fixture.broker, payload)).toJson(QJsonDocument::Compact));
    } else if (said.isEmpty()) {
        QVERIFY(fixture.broker.publish(topic, payload));
    } else {
        // A refusal goes to the error topic and to the log.
        const QJsonObject error = answerOf(fixture.broker, topic, payload, QStringLiteral("koru/room/error"));
        heard = QString::fromUtf8(QJsonDocument(error).toJson(QJsonDocument::Compact));
        QCOMPARE(error.value(u"topic").toString(), topic);
        QTRY_VERIFY(!notices.isEmpty());
    }
    QVERIFY2(heard.contains(said), qPrintable(heard));
    if (frame.isEmpty())
        QTest::qWait(300);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.commandsOnTheWire(), frame.isEmpty() ? QStringList() : QStringList(frame), kWaitMs);
}

void TestMqttBridge::retainedRequestsIgnored_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("command") << "koru/room/command" << QByteArray("vol-down");
    QTest::newRow("power") << "koru/room/power/set" << QByteArray("ON");
}

// A request published retained is not carried out, stays on the broker, is
// said once; clearing it is no request either. A live bad request after
// them is the one answer the bridge gives: the broker delivers in order.
void TestMqttBridge::retainedRequestsIgnored()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);

    MqttFixture fixture;
    QVERIFY(fixture.run());
    MosquittoBroker &broker = fixture.broker;
    QSignalSpy notices(fixture.service.get(), &MqttService::notice);
    QVERIFY(broker.publish(topic, payload, true));
    QTRY_COMPARE(notices.size(), 1);
    QVERIFY2(notices.first().first().toString().contains(u"published retained"), qPrintable(notices.first().first().toString()));
    QCOMPARE(broker.receive(topic, 1, 1), QStringList(topic + u' ' + QString::fromLatin1(payload)));
    QVERIFY(broker.publish(topic, payload, true)); // again: said once
    MqttClient watcher(configFor(broker, QStringLiteral("watcher")));
    QSignalSpy answers(&watcher, &MqttClient::messageReceived);
    watcher.subscribe("koru/room/command/result");
    watcher.subscribe("koru/room/error");
    QSignalSpy watching(&watcher, &MqttClient::connected);
    QVERIFY(!watcher.start() && watching.wait(kWaitMs));
    QVERIFY(broker.publish(topic, QByteArray(), true));
    QVERIFY(broker.publish(QStringLiteral("koru/room/command"), "self-destruct"));
    QTRY_COMPARE(answers.size(), 1);
    QVERIFY(answers.first().at(1).toByteArray().contains(R"("name":"self-destruct")"));
    QCOMPARE(notices.size(), 1);
    QTest::qWait(300);
    QCOMPARE(fixture.commandsOnTheWire(), QStringList());
    QCOMPARE(broker.receive(topic, 1, 1), QStringList());
}

void TestMqttBridge::switchingOnWhileCoolingDown_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("answerTopic");

    QTest::newRow("power/set") << "koru/room/power/set" << QByteArray("ON") << "koru/room/error";
    QTest::newRow("command") << "koru/room/command" << QByteArray("power-on") << "koru/room/command/result";
}

// The projector would acknowledge it and stay dark: one rule for both ways,
// nothing sent and "not-possible-now" said.
void TestMqttBridge::switchingOnWhileCoolingDown()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, answerTopic);

    koru::sim::SimOptions options = koru::test::quickProjector();
    options.projector.coolingDown = std::chrono::hours(1); // it stays cooling for the whole case
    MqttFixture fixture(koru::test::quickTimings(), options);
    QVERIFY(fixture.run());
    MosquittoBroker &broker = fixture.broker;
    QVERIFY(broker.publish(QStringLiteral("koru/room/power/set"), "ON"));
    QTRY_VERIFY(fixture.bridge.state().power == koru::PowerState::On);
    QVERIFY(broker.publish(QStringLiteral("koru/room/power/set"), "OFF"));
    QTRY_VERIFY(fixture.bridge.state().power == koru::PowerState::CoolingDown);
    fixture.wire.clear();
    const QJsonObject answer = answerOf(broker, topic, payload, answerTopic);
    QCOMPARE(answer.value(u"result").toString(), u"not-possible-now");
    QVERIFY2(answer.value(u"error").toString().contains(u"cooling down"), qPrintable(answer.value(u"error").toString()));
    QCOMPARE(fixture.commandsOnTheWire(), QStringList());
}

void TestMqttBridge::stateChangesPublishedOnce()
{
    MqttFixture fixture;
    QVERIFY(fixture.run());
    MosquittoBroker &broker = fixture.broker;
    MqttClient watcher(configFor(broker, QStringLiteral("watcher")));
    QSignalSpy heard(&watcher, &MqttClient::messageReceived);
    watcher.subscribe("koru/room/status");
    QVERIFY(!watcher.start());
    QTRY_COMPARE(heard.size(), 1); // "Stand by", retained
    QVERIFY(broker.publish(QStringLiteral("koru/room/power/set"), "ON"));
    // Count down lasts 300 ms, polled every 200 ms: each word once, however
    // many polls read it.
    QTest::qWait(2000);
    QStringList words;
    for (const QList<QVariant> &message : heard)
        words << message.at(1).toString();
    QCOMPARE(words, QStringList({ QStringLiteral("Stand by"), QStringLiteral("Count down"), QStringLiteral("Power ON") }));
}

void TestMqttBridge::commandWhileTheLineIsDown()
{
    // The line stays down for the whole case: a reopening could otherwise
    // find another suite's pty under the freed name and wait for its reply.
    koru::bridge::BridgeTimings timings = koru::test::quickTimings();
    timings.reopen = { std::chrono::hours(1), std::chrono::hours(1) };
    MqttFixture fixture(timings);
    QVERIFY(fixture.run());
    MosquittoBroker &broker = fixture.broker;
    fixture.bridge.sim.hangUp();
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/room/availability"), 1, 1), QStringList("koru/room/availability offline"));
    QCOMPARE(resultOf(broker, "vol-up").value(u"result").toString(), u"line-lost");
}

// elapsed_ms runs from the send to the reply's CR, as koru-ctl's does: not
// the wait for the line, nor the status poll that follows the command (its
// reply held back here), which the result waits for.
void TestMqttBridge::commandResultTimesTheCommandAlone()
{
    QElapsedTimer published;
    bool commandHeard = false;
    qint64 nextFrameAt = -1; // after the publish; the command's reply was in by then
    MqttFixture fixture;
    QVERIFY(fixture.run());
    koru::sim::ProjectorSim &sim = fixture.bridge.sim;
    connect(&sim, &koru::sim::ProjectorSim::frameReceived, &sim, [&](const QByteArray &frame) {
        if (frame == "C09") {
            commandHeard = true;
        } else if (commandHeard && nextFrameAt < 0) {
            nextFrameAt = published.elapsed();
            sim.setReplyDelay(std::chrono::milliseconds(400));
        }
    });
    const QJsonObject result = resultOf(fixture.broker, "vol-up", &published);
    QCOMPARE(result.value(u"result").toString(), u"answered");
    QVERIFY(nextFrameAt >= 0);
    const qint64 elapsed = result.value(u"elapsed_ms").toInteger(-1);
    const qint64 queued = result.value(u"queued_ms").toInteger(-1);
    QVERIFY2(elapsed >= 20 && queued >= 0, qPrintable(QString::number(elapsed))); // the simulator answers after 20 ms
    // Both clocks count in whole milliseconds.
    QVERIFY2(queued + elapsed <= nextFrameAt + 2,
             qPrintable(QStringLiteral("%1 + %2 ms, next frame at %3 ms").arg(queued).arg(elapsed).arg(nextFrameAt)));
}

void TestMqttBridge::brokerRestart()
{
    MqttFixture fixture;
    QVERIFY(fixture.run());
    MosquittoBroker &broker = fixture.broker;
    QSignalSpy connected(fixture.service->client(), &MqttClient::connected);
    QVERIFY(broker.restart()); // forgets every retained message
    QVERIFY(connected.wait(kWaitMs));
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/room/power"), 1, 1), QStringList("koru/room/power off"));
    QVERIFY(broker.publish(QStringLiteral("koru/room/command"), "freeze-on"));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.commandsOnTheWire(), QStringList(QLatin1String(koru::commandByName(u"freeze-on")->code)), kWaitMs);
}

// Two bridge programs with a projector each on one broker; one of them
// killed: its will turns it offline, the other stays.
void TestMqttBridge::crashAndTwoBridges()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    koru::sim::ProjectorSim sims[2] { koru::sim::ProjectorSim(koru::test::quickProjector()), koru::sim::ProjectorSim(koru::test::quickProjector()) };
    QTemporaryDir dir;
    QProcess bridges[2];
    for (int i = 0; i < 2; ++i) {
        QFile file(dir.filePath(QString::number(i)));
        QVERIFY(sims[i].start() && file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[projector p%1]\nport = %2\nraw = 127.0.0.1:%3\n[mqtt]\nhost = 127.0.0.1\nport = %4\nclient-id = b%1\n")
                       .arg(i).arg(sims[i].devicePath()).arg(koru::test::freeLoopbackPort()).arg(broker.port()).toUtf8());
        file.close();
        bridges[i].start(QStringLiteral(KORU_BRIDGE_PATH), { QStringLiteral("--config"), file.fileName() });
    }
    QTRY_COMPARE_WITH_TIMEOUT(broker.receive(QStringLiteral("koru/+/availability"), 2).join(u'|') + u'|' + broker.receive(QStringLiteral("koru/bridge/+/availability"), 2).join(u'|'),
                              u"koru/p0/availability online|koru/p1/availability online|koru/bridge/b0/availability online|koru/bridge/b1/availability online", 10000);
    ::kill(pid_t(bridges[0].processId()), SIGKILL);
    QVERIFY(bridges[0].waitForFinished(kWaitMs));
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/bridge/+/availability"), 2).join(u'|'),
                 u"koru/bridge/b0/availability offline|koru/bridge/b1/availability online");
    bridges[1].terminate();
    QVERIFY(bridges[1].waitForFinished(kWaitMs) && bridges[1].exitCode() == 0);
    QCOMPARE(broker.receive(QStringLiteral("koru/p1/availability"), 1), QStringList("koru/p1/availability offline"));
}

// A "broker" of the test's own that takes every connection and never says a
// word: each attempt is given up after the connect wait, said once as a
// refused one is, and tried again after 1 s, then 2 s; not only at the
// keepalive.
void TestMqttBridge::brokerThatNeverAnswers()
{
    QTcpServer broker;
    QVERIFY(broker.listen(QHostAddress::LocalHost));
    std::vector<std::unique_ptr<QTcpSocket>> taken;
    connect(&broker, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = broker.nextPendingConnection())
            taken.emplace_back(socket);
    });
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.serverPort();
    config.clientId = QStringLiteral("bridge-t");
    config.connectWait = std::chrono::milliseconds(300);
    MqttClient client(config);
    QSignalSpy lost(&client, &MqttClient::disconnected);
    QVERIFY(!client.start());
    QVERIFY(lost.wait(2000));
    QVERIFY2(lost.first().first().toString().contains(u"did not answer"), qPrintable(lost.first().first().toString()));
    QTRY_COMPARE_WITH_TIMEOUT(taken.size(), size_t(2), 2000);
    QTest::qWait(1500); // the third try is 2 s after the second gave up
    QCOMPARE(taken.size(), size_t(2));
    QCOMPARE(lost.size(), 1);
}

QTEST_MAIN(TestMqttBridge)
#include "tst_mqttbridge.moc"
