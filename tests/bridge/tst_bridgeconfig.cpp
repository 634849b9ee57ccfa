// The bridge's configuration file: what it accepts and where it says a problem is.
#include "bridge/bridgeconfig.h"

#include <QTest>

using koru::bridge::parseConfig;
using koru::bridge::parseListenAddress;

class TestBridgeConfig : public QObject
{
    Q_OBJECT

private slots:
    void twoProjectors();
    void problems_data();
    void problems();
    void listenAddresses_data();
    void listenAddresses();
};

void TestBridgeConfig::twoProjectors()
{
    const auto parsed = parseConfig(u"# rooms\n"
                                    "[projector room-2.14]\n"
                                    "port = /dev/ttyUSB0\n"
                                    "speed = 9600\n"
                                    "name = Room 2.14\n"
                                    "model = LMV5\n"
                                    "pjlink = 0.0.0.0:4352\n"
                                    "password-file = /etc/koru/room.pass\n"
                                    "raw = 127.0.0.1:4001\n"
                                    "\n"
                                    "[projector hall]\n"
                                    "  port = tcp://10.0.0.5:4001  \n"
                                    "raw = [::1]:4002\n");
    QVERIFY2(!parsed.problem, qPrintable(parsed.problem ? parsed.problem->message : QString()));
    QCOMPARE(parsed.projectors.size(), size_t(2));
    const auto &room = parsed.projectors[0];
    QCOMPARE(room.id, QStringLiteral("room-2.14"));
    QCOMPARE(room.lineSettings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(room.name, QStringLiteral("Room 2.14"));
    QCOMPARE(room.pjlink->toString(), QStringLiteral("0.0.0.0:4352"));
    QCOMPARE(room.passwordFile, QStringLiteral("/etc/koru/room.pass"));
    const auto &hall = parsed.projectors[1];
    QCOMPARE(hall.port, QStringLiteral("tcp://10.0.0.5:4001"));
    QCOMPARE(hall.name, QStringLiteral("hall")); // the id stands in for a missing name
    QCOMPARE(hall.speed, 19200);
    QVERIFY(!hall.pjlink);
    QCOMPARE(hall.raw->toString(), QStringLiteral("[::1]:4002"));
}

void TestBridgeConfig::problems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    const QString head = QStringLiteral("[projector a]\nport = /dev/ttyS0\nraw = 127.0.0.1:4001\n");
    QTest::newRow("unknown key") << head + "sped = 9600\n" << 4 << "a" << "sped";
    QTest::newRow("bad speed") << head + "speed = 9601\n" << 4 << "a" << "speed";
    QTest::newRow("bad address") << head + "pjlink = localhost:4352\n" << 4 << "a" << "pjlink";
    QTest::newRow("port out of range") << head + "pjlink = 127.0.0.1:65536\n" << 4 << "a" << "pjlink";
    QTest::newRow("key twice") << head + "port = /dev/ttyS1\n" << 4 << "a" << "port";
    QTest::newRow("key before any section") << "port = /dev/ttyS0\n" + head << 1 << "" << "port";
    QTest::newRow("not key = value") << head + "speed\n" << 4 << "a" << "";
    QTest::newRow("bad section") << "[beamer a]\n" << 1 << "" << "";
    QTest::newRow("no port") << "[projector a]\nraw = 127.0.0.1:1\n" << 0 << "a" << "port";
    QTest::newRow("no listener") << "[projector a]\nport = /dev/ttyS0\n" << 0 << "a" << "pjlink";
    QTest::newRow("duplicate id") << head + QString(head).replace("4001", "4002") << 0 << "a" << "";
    QTest::newRow("duplicate listen address")
        << head + "[projector b]\nport = /dev/ttyS1\npjlink = 127.0.0.1:4001\n" << 0 << "b" << "pjlink";
    QTest::newRow("a wildcard takes the port") << head + "[projector b]\nport = /dev/ttyS1\nraw = 0.0.0.0:4001\n"
                                               << 0 << "b" << "raw";
    QTest::newRow("empty file") << "# nothing\n" << 0 << "" << "";
}

void TestBridgeConfig::problems()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, section);
    QFETCH(QString, key);
    const auto parsed = parseConfig(text);
    QVERIFY(parsed.problem);
    QCOMPARE(parsed.problem->line, line);
    QCOMPARE(parsed.problem->section, section);
    QCOMPARE(parsed.problem->key, key);
    QVERIFY(!parsed.problem->message.isEmpty());
}

void TestBridgeConfig::listenAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // empty: refused
    QTest::newRow("IPv4") << "127.0.0.1:4352" << "127.0.0.1:4352";
    QTest::newRow("IPv6") << "[::1]:4352" << "[::1]:4352";
    QTest::newRow("IPv6 without brackets") << "::1:4352" << "";
    QTest::newRow("a name") << "localhost:4352" << "";
    QTest::newRow("no port") << "127.0.0.1" << "";
    QTest::newRow("port 0") << "127.0.0.1:0" << "";
    QTest::newRow("signed port") << "127.0.0.1:+80" << "";
}

void TestBridgeConfig::listenAddresses()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    const auto address = parseListenAddress(text);
    QCOMPARE(address ? address->toString() : QString(), parsed);
}

QTEST_GUILESS_MAIN(TestBridgeConfig)
#include "tst_bridgeconfig.moc"
