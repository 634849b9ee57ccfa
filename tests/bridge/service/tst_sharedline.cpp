// One projector's line shared by PJLink controllers and the MQTT broker at
// once, the simulated projector on its pty and the real mosquitto: a burst
// on MQTT leaves a PJLink controller its turn, a lost reply is made good at
// once, and a projector that stops answering is said to be gone, on both.
#include "bridge/mqtt/mqttclient.h"
#include "bridge/mqtt/mqttservice.h"
#include "support/mosquittobroker.h"
#include "support/pjlinkclient.h"
#include "support/pjlinkfixture.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using namespace koru::bridge;
using koru::sim::FaultMode;
using koru::test::MosquittoBroker;
using koru::test::PjlinkClient;
using koru::test::PjlinkFixture;

Q_DECLARE_METATYPE(koru::sim::FaultMode)

namespace {

MqttConfig configFor(const MosquittoBroker &broker, const QString &clientId)
{
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port();
    config.clientId = clientId;
    return config;
}

// PJLink's fixture with the projector published on the broker too, and a
// subscriber of the tests' own that keeps what it hears on `filter`.
struct SharedFixture : PjlinkFixture
{
    explicit SharedFixture(const QByteArray &filter)
    {
        if (!ready || !broker.start())
            return;
        service = std::make_unique<MqttService>(
            configFor(broker, QStringLiteral("bridge-t")),
            std::vector<MqttProjector> { { { QStringLiteral("room"), QStringLiteral("Room"), QString() }, projector->model() } });
        watcher = std::make_unique<MqttClient>(configFor(broker, QStringLiteral("watcher")));
        heard = std::make_unique<QSignalSpy>(watcher.get(), &MqttClient::messageReceived);
        watcher->subscribe(filter);
        QSignalSpy connected(service->client(), &MqttClient::connected);
        ready = !service->start() && connected.wait(5000) && !watcher->start() && pjlink.connectTo(pjlinkPort());
    }

    QStringList payloads() const
    {
        QStringList all;
        for (const QList<QVariant> &message : *heard)
            all << message.at(1).toString();
        return all;
    }

    MosquittoBroker broker;
    std::unique_ptr<MqttService> service;
    std::unique_ptr<MqttClient> watcher;
    std::unique_ptr<QSignalSpy> heard;
    PjlinkClient pjlink;
};

} // namespace

class TestSharedLine : public QObject
{
    Q_OBJECT

private slots:
    void mqttBurstLeavesPjlinkItsTurn();
    void unansweredCommandAskedAgainAtOnce();
    void projectorThatStopsAnswering_data();
    void projectorThatStopsAnswering();
};

// A few hundred commands published at once: a bounded number reach the line,
// the rest are answered "busy" at once, and a PJLink command of another
// controller goes between them instead of after them.
void TestSharedLine::mqttBurstLeavesPjlinkItsTurn()
{
    constexpr int kBurst = 300;
    SharedFixture fixture("koru/room/command/result");
    QVERIFY(fixture.ready);
    QByteArrayList frames; // the commands the projector got, polls left out
    connect(&fixture.sim, &koru::sim::ProjectorSim::frameReceived, this, [&frames](const QByteArray &frame) {
        if (!koru::isQueryCode(frame))
            frames << frame;
    });
    QTest::qWait(200); // the watcher's subscription is in place

    QProcess publisher;
    publisher.start(QStringLiteral("mosquitto_pub"), fixture.broker.clientArguments() << "-t" << "koru/room/command" << "-l");
    QVERIFY(publisher.waitForStarted());
    publisher.write(QByteArray("vol-up\n").repeated(kBurst));
    publisher.closeWriteChannel();
    QVERIFY(QTest::qWaitFor([&] { return publisher.state() == QProcess::NotRunning; }, 5000));
    QTRY_VERIFY(frames.contains("C09"));

    QElapsedTimer clock;
    clock.start();
    const qsizetype asked = frames.size();
    QCOMPARE(fixture.pjlink.request("INPT 21", 2s), QByteArray("%1INPT=OK\r"));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    // Behind the frame on the wire and one turn of the burst, not its backlog.
    const qsizetype input = frames.indexOf("C07");
    QVERIFY2(input >= 0 && frames.mid(asked, input - asked).count("C09") <= 2, frames.join(' ').constData());
    QVERIFY(frames.mid(input + 1).contains("C09")); // the burst had its turns after it

    QTRY_COMPARE_WITH_TIMEOUT(fixture.heard->size(), kBurst, 10000);
    const QStringList results = fixture.payloads();
    const int busy = int(results.filter(QStringLiteral(R"("result":"busy")")).size());
    const int answered = int(results.filter(QStringLiteral(R"("result":"answered")")).size());
    QCOMPARE(busy + answered, kBurst);
    QCOMPARE(int(frames.count("C09")), answered);
    QVERIFY2(answered < kBurst / 4, qPrintable(QString::number(answered)));
    const QJsonObject refused = QJsonDocument::fromJson(results.filter(u"busy").first().toUtf8()).object();
    QCOMPARE(refused.value(u"name").toString(), u"vol-up");
    QCOMPARE(refused.value(u"code").toString(), u"C09");
}

// The projector leaves one command unanswered: the bridge asks its status
// again at once, and answers the command once it has the status, so the
// next query is answered from it rather than failing until the next poll.
void TestSharedLine::unansweredCommandAskedAgainAtOnce()
{
    PjlinkFixture bridge;
    QVERIFY(bridge.ready);
    koru::sim::ProjectorSim &sim = bridge.sim;
    connect(&sim, &koru::sim::ProjectorSim::frameReceived, this, [&sim](const QByteArray &frame) {
        sim.setFaultMode(frame == "C07" ? FaultMode::Silent : FaultMode::None);
    });
    PjlinkClient client;
    QVERIFY(client.connectTo(bridge.pjlinkPort()));
    QCOMPARE(client.request("INPT 21"), QByteArray("%1INPT=ERR4\r"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.request("POWR ?"), QByteArray("%1POWR=0\r"));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestSharedLine::projectorThatStopsAnswering_data()
{
    QTest::addColumn<FaultMode>("fault");
    QTest::newRow("silent") << FaultMode::Silent;
    QTest::newRow("garbage") << FaultMode::Garbage;
}

// Unanswered polls in a row: MQTT says offline and PJLink fails its queries;
// at the first answer both come back, each change said once.
void TestSharedLine::projectorThatStopsAnswering()
{
    QFETCH(FaultMode, fault);
    SharedFixture fixture("koru/room/availability");
    QVERIFY(fixture.ready);
    QTRY_COMPARE(fixture.payloads(), QStringList(QStringLiteral("online")));
    fixture.sim.setFaultMode(fault);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.payloads(), QStringList({ QStringLiteral("online"), QStringLiteral("offline") }), 5000);
    for (const QByteArray query : { "POWR ?", "INPT ?", "AVMT ?", "LAMP ?" })
        QCOMPARE(fixture.pjlink.request(query), "%1" + query.left(4) + "=ERR4\r");
    QCOMPARE(fixture.pjlink.request("NAME ?"), QByteArray("%1NAME=Room 2.14\r")); // the bridge's own word

    fixture.sim.setFaultMode(FaultMode::None);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.payloads().size(), 3, 5000);
    QCOMPARE(fixture.payloads().last(), QStringLiteral("online"));
    QTRY_COMPARE(fixture.pjlink.request("POWR ?"), QByteArray("%1POWR=0\r"));
    QTest::qWait(500);
    QCOMPARE(fixture.payloads().size(), 3);
}

QTEST_GUILESS_MAIN(TestSharedLine)
#include "tst_sharedline.moc"
