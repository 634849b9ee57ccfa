// The bridge's configuration file: what it accepts, where it says a problem
// is, and what a reload does to each projector.
#include "bridge/service/bridgesetup.h"
#include "bridge/service/reloadplan.h"

#include <QTest>

using koru::bridge::parseConfig;

class TestBridgeConfig : public QObject
{
    Q_OBJECT

private slots:
    void twoProjectors();
    void problems_data();
    void problems();
    void reloadPlan_data();
    void reloadPlan();
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
                                    "max-connections-per-address = 2\n"
                                    "\n"
                                    "[projector hall]\n"
                                    "  port = tcp://10.0.0.5:4001  \n"
                                    "raw = [::1]:4002\n");
    QVERIFY2(!parsed.problem, qPrintable(parsed.problem ? parsed.problem->message : QString()));
    QCOMPARE(parsed.projectors.size(), size_t(2));
    const auto &room = parsed.projectors[0].projector;
    const auto &roomPjlink = parsed.projectors[0].pjlink;
    QCOMPARE(room.id + room.lineSettings() + room.name + roomPjlink.listen->toString() + roomPjlink.passwordFile,
             QStringLiteral("room-2.149600,N,8,1Room 2.140.0.0.0:4352/etc/koru/room.pass"));
    const auto &hall = parsed.projectors[1].projector;
    QVERIFY(!parsed.projectors[1].pjlink.listen);
    QCOMPARE(room.maxConnectionsPerAddress, 2);
    QCOMPARE(hall.maxConnectionsPerAddress, koru::bridge::kDefaultMaxConnectionsPerAddress);
    // The id stands in for a missing name; the speed is the projector's usual.
    QCOMPARE(hall.port + hall.name + hall.lineSettings() + hall.raw->toString(),
             QStringLiteral("tcp://10.0.0.5:4001hall19200,N,8,1[::1]:4002"));
}

void TestBridgeConfig::problems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    const QString head = QStringLiteral("[projector a]\nport = /dev/ttyS0\nraw = 127.0.0.1:4001\n");
    QTest::newRow("unknown key") << head + "sped = 9600\n" << 4 << "projector a" << "sped";
    QTest::newRow("bad speed") << head + "speed = 9601\n" << 4 << "projector a" << "speed";
    QTest::newRow("bad address") << head + "pjlink = localhost:4352\n" << 4 << "projector a" << "pjlink";
    QTest::newRow("IPv6 without brackets") << head + "raw = ::1:4002\n" << 4 << "projector a" << "raw";
    QTest::newRow("signed port") << head + "pjlink = 127.0.0.1:+80\n" << 4 << "projector a" << "pjlink";
    QTest::newRow("port out of range") << head + "pjlink = 127.0.0.1:65536\n" << 4 << "projector a" << "pjlink";
    QTest::newRow("no connection per address") << head + "max-connections-per-address = 0\n" << 4 << "projector a"
                                               << "max-connections-per-address";
    QTest::newRow("key twice") << head + "port = /dev/ttyS1\n" << 4 << "projector a" << "port";
    QTest::newRow("key before any section") << "port = /dev/ttyS0\n" + head << 1 << "" << "port";
    QTest::newRow("not key = value") << head + "speed\n" << 4 << "projector a" << "";
    QTest::newRow("bad section") << "[beamer a]\n" << 1 << "" << "";
    QTest::newRow("no port") << "[projector a]\nraw = 127.0.0.1:1\n" << 0 << "projector a" << "port";
    QTest::newRow("no listener") << "[projector a]\nport = /dev/ttyS0\n" << 0 << "projector a" << "pjlink";
    QTest::newRow("duplicate id") << head + QString(head).replace("4001", "4002") << 0 << "projector a" << "";
    QTest::newRow("duplicate listen address")
        << head + "[projector b]\nport = /dev/ttyS1\npjlink = 127.0.0.1:4001\n" << 0 << "projector b" << "pjlink";
    QTest::newRow("a wildcard takes the port") << head + "[projector b]\nport = /dev/ttyS1\nraw = 0.0.0.0:4001\n"
                                               << 0 << "projector b" << "raw";
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

void TestBridgeConfig::reloadPlan_data()
{
    QTest::addColumn<QString>("after"); // the [projector b] section that follows a's
    QTest::addColumn<QString>("steps"); // a's and b's, then the gone ones'

    const QString b = QStringLiteral("[projector b]\nport = /dev/ttyS1\npjlink = 127.0.0.1:4352\n");
    QTest::newRow("unchanged") << b << "a keep, b keep";
    QTest::newRow("renamed") << b + "name = Hall\n" << "a keep, b restart";
    QTest::newRow("other speed") << b + "speed = 9600\n" << "a keep, b restart";
    QTest::newRow("PJLink moved") << QString(b).replace("4352", "4353") << "a keep, b restart";
    QTest::newRow("password file") << b + "password-file = /etc/koru/b.pass\n" << "a keep, b restart";
    QTest::newRow("removed") << QString() << "a keep, b close";
    QTest::newRow("id changed") << QString(b).replace("[projector b]", "[projector c]") << "a keep, c start, b close";
}

void TestBridgeConfig::reloadPlan()
{
    QFETCH(QString, after);
    QFETCH(QString, steps);
    using namespace koru::bridge;
    const QString a = QStringLiteral("[projector a]\nport = /dev/ttyS0\nraw = 127.0.0.1:4001\n");
    const auto running = parseConfig(a + "[projector b]\nport = /dev/ttyS1\npjlink = 127.0.0.1:4352\n");
    const auto wanted = parseConfig(a + after);
    QVERIFY(!running.problem && !wanted.problem);
    QStringList said;
    for (const PlannedProjector &planned : planReload(running.projectors, wanted.projectors)) {
        const char *words[] = { "keep", "restart", "close", "start" };
        said << planned.id + u' ' + QLatin1String(words[int(planned.step)]);
    }
    QCOMPARE(said.join(QStringLiteral(", ")), steps);
}

QTEST_GUILESS_MAIN(TestBridgeConfig)
#include "tst_bridgeconfig.moc"
