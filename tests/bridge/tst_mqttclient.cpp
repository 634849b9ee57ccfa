// The MQTT client against the real broker: availability, messages both
// ways, reconnection after the broker went, logging in.
#include "bridge/mqttclient.h"
#include "support/mosquittobroker.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using koru::bridge::MqttClient;
using koru::bridge::MqttConfig;
using koru::test::MosquittoBroker;

namespace {

// The first retry comes 1 s after a loss; a loaded machine may add a little.
constexpr int kConnectWaitMs = 5000;

MqttConfig configFor(const MosquittoBroker &broker)
{
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port();
    config.clientId = QStringLiteral("koru-bridge-test");
    return config;
}

} // namespace

class TestMqttClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void messagesBothWaysAndAvailability();
    void reconnectsWhenTheBrokerComesBack();
    void logsIn_data();
    void logsIn();
};

void TestMqttClient::initTestCase()
{
    if (!MosquittoBroker::isInstalled())
        QSKIP("mosquitto and mosquitto-clients are not installed (scripts/packages.sh)");
}

void TestMqttClient::messagesBothWaysAndAvailability()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    MqttClient client(configFor(broker));
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy received(&client, &MqttClient::messageReceived);
    client.subscribe("in/#");
    QVERIFY(!client.start());
    QVERIFY(connected.wait(kConnectWaitMs));

    QVERIFY(client.publish("out/state", "kept", true));
    QVERIFY(client.publish("out/event", "gone", false));
    // A fresh subscriber sees what is retained only.
    QTRY_COMPARE(broker.receive(QStringLiteral("#"), 2, 2),
                 QStringList({ QStringLiteral("koru/bridge/koru-bridge-test/availability online"),
                               QStringLiteral("out/state kept") }));

    QVERIFY(broker.publish(QStringLiteral("in/x"), "hello"));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kConnectWaitMs);
    QCOMPARE(received.first().at(0).toByteArray(), QByteArray("in/x"));
    QCOMPARE(received.first().at(1).toByteArray(), QByteArray("hello"));

    QSignalSpy stopped(&client, &MqttClient::stopped);
    client.stop();
    QVERIFY(stopped.wait(kConnectWaitMs));
    QCOMPARE(broker.receive(QStringLiteral("koru/#"), 1, 2),
             QStringList(QStringLiteral("koru/bridge/koru-bridge-test/availability offline")));
}

void TestMqttClient::reconnectsWhenTheBrokerComesBack()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    MqttClient client(configFor(broker));
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    client.subscribe("in/#");
    QVERIFY(!client.start());
    QVERIFY(connected.wait(kConnectWaitMs));

    broker.stop();
    QVERIFY(disconnected.wait(kConnectWaitMs));
    QVERIFY(!client.publish("out/x", "lost", true)); // nothing kept for later
    QTest::qWait(2500); // two refused retries (1 s, 2 s): reported once
    QCOMPARE(disconnected.size(), 1);

    QVERIFY2(broker.restart(), qPrintable(broker.error()));
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 2, 6000); // the next retry comes within 4 s
    // The restarted broker kept nothing; the client said it is back, and
    // its subscriptions hold again.
    QCOMPARE(broker.receive(QStringLiteral("koru/#"), 1, 2),
             QStringList(QStringLiteral("koru/bridge/koru-bridge-test/availability online")));
    QSignalSpy received(&client, &MqttClient::messageReceived);
    QVERIFY(broker.publish(QStringLiteral("in/y"), "again"));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, kConnectWaitMs);
}

void TestMqttClient::logsIn_data()
{
    QTest::addColumn<QString>("username");
    QTest::addColumn<QByteArray>("passwordFile");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("right password") << "koru" << QByteArray("s3cret\n") << true;
    QTest::newRow("wrong password") << "koru" << QByteArray("guess\n") << false;
    QTest::newRow("anonymous") << "" << QByteArray() << false;
}

void TestMqttClient::logsIn()
{
    QFETCH(QString, username);
    QFETCH(QByteArray, passwordFile);
    QFETCH(bool, accepted);

    MosquittoBroker broker;
    QVERIFY2(broker.start(QStringLiteral("koru"), QStringLiteral("s3cret")), qPrintable(broker.error()));
    QTemporaryDir dir;
    MqttConfig config = configFor(broker);
    config.username = username;
    if (!passwordFile.isEmpty()) {
        config.passwordFile = dir.filePath(QStringLiteral("password"));
        QFile file(config.passwordFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(passwordFile);
    }
    MqttClient client(config);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    QVERIFY(!client.start());
    QTRY_VERIFY_WITH_TIMEOUT(connected.size() + disconnected.size() > 0, kConnectWaitMs);
    QCOMPARE(connected.size(), accepted ? 1 : 0);
    if (!accepted)
        QVERIFY2(disconnected.first().first().toString().contains(u"refused"), qPrintable(disconnected.first().first().toString()));
}

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
