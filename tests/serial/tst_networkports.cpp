// MSComm on network ports, through the real ser2net on loopback to a real
// pseudo-terminal held by the test. No test here makes a name lookup or sends
// a packet beyond this machine.
#include "serial/mscomm.h"
#include "serial/portaddress.h"
#include "serial/transport.h"
#include "support/idlecheck.h"
#include "support/opening.h"
#include "support/linespeed.h"
#include "support/pty.h"
#include "support/ser2netgateway.h"

#include <QSignalSpy>
#include <QTest>

#include <time.h>

using koru::MSComm;
using koru::PortAddress;
using koru::test::PtyPair;
using koru::test::Ser2NetGateway;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Ser2NetGateway::Mode)

namespace {

// A pty far end, ser2net in front of it, and MSComm's COM1 on the gateway.
struct Bridge
{
    explicit Bridge(Ser2NetGateway::Mode mode, const QString &loopback = QStringLiteral("127.0.0.1"))
    {
        started = pty.isValid() && gateway.start(pty.slavePath(), mode, loopback);
        comm.setDevicePath(1, gateway.address());
    }

    PtyPair pty;
    Ser2NetGateway gateway;
    MSComm comm;
    bool started = false;
};

void addModes()
{
    QTest::addColumn<Ser2NetGateway::Mode>("mode");
    QTest::newRow("tcp") << Ser2NetGateway::Mode::RawTcp;
    QTest::newRow("rfc2217") << Ser2NetGateway::Mode::Rfc2217;
}

QString receiveAtLeast(MSComm &comm, qsizetype count, qsizetype *largestChunk = nullptr)
{
    QString received;
    (void)QTest::qWaitFor(
        [&] {
            const QString chunk = comm.input();
            if (largestChunk)
                *largestChunk = qMax(*largestChunk, chunk.size());
            received += chunk;
            return received.size() >= count;
        },
        5000);
    return received;
}

} // namespace

class TestNetworkPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addresses_data();
    void addresses();
    void bytesCrossBothWaysUnchanged_data();
    void bytesCrossBothWaysUnchanged();
    void receiveBufferIsBoundedAndLosesNothing_data();
    void receiveBufferIsBoundedAndLosesNothing();
    void speedChoiceSetsTheGatewaysLine();
    void tcpKeepsTheGatewaysSpeed();
    void refusedConnectionSaysWhatToCheck_data();
    void refusedConnectionSaysWhatToCheck();
    void unresolvableNameIsNamed();
    void gatewayWithoutRfc2217SuggestsTcp();
    void gatewayKilledClosesThePortOnce_data();
    void gatewayKilledClosesThePortOnce();
};

void TestNetworkPorts::initTestCase()
{
    QVERIFY2(Ser2NetGateway::isInstalled(), "ser2net is missing: scripts/packages.sh installs it");
}

void TestNetworkPorts::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind"); // -1: refused
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("reason");

    const int device = int(PortAddress::Kind::Device);
    const int tcp = int(PortAddress::Kind::Tcp);
    const int rfc = int(PortAddress::Kind::Rfc2217);
    QTest::newRow("device") << "/dev/ttyUSB0" << device << "" << 0 << "";
    QTest::newRow("tcp ipv4") << "tcp://192.0.2.7:4001" << tcp << "192.0.2.7" << 4001 << "";
    QTest::newRow("rfc2217 name") << "rfc2217://rack-gw.local:2217" << rfc << "rack-gw.local" << 2217 << "";
    QTest::newRow("ipv6") << "rfc2217://[::1]:4001" << rfc << "::1" << 4001 << "";
    QTest::newRow("highest port") << "tcp://h:65535" << tcp << "h" << 65535 << "";
    QTest::newRow("no port") << "tcp://host" << -1 << "" << 0 << "port number is missing";
    QTest::newRow("port 0") << "tcp://host:0" << -1 << "" << 0 << "from 1 to 65535";
    QTest::newRow("port too big") << "tcp://host:65536" << -1 << "" << 0 << "from 1 to 65535";
    QTest::newRow("port not digits") << "tcp://host:+80" << -1 << "" << 0 << "from 1 to 65535";
    QTest::newRow("unknown kind") << "udp://host:1" << -1 << "" << 0 << "udp://";
    QTest::newRow("bare ipv6") << "tcp://::1:4001" << -1 << "" << 0 << "brackets";
    QTest::newRow("unclosed ipv6") << "tcp://[::1:4001" << -1 << "" << 0 << "closing";
    QTest::newRow("bracketed name") << "tcp://[gw]:4001" << -1 << "" << 0 << "not an IPv6";
    QTest::newRow("empty host") << "rfc2217://:4001" << -1 << "" << 0 << "host is missing";
    QTest::newRow("path in host") << "tcp://gw/x:4001" << -1 << "" << 0 << "not a name";
}

void TestNetworkPorts::addresses()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, reason);

    const koru::ParsedAddress parsed = koru::parsePortAddress(text);
    if (kind < 0) {
        QVERIFY2(parsed.error.contains(reason), qPrintable(parsed.error));
        QVERIFY(parsed.error.contains(text));
        return;
    }
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(int(parsed.address.kind), kind);
    QCOMPARE(parsed.address.host, host);
    QCOMPARE(int(parsed.address.port), port);
    if (kind == int(PortAddress::Kind::Device))
        QCOMPARE(parsed.address.path, text);
}

void TestNetworkPorts::bytesCrossBothWaysUnchanged_data()
{
    addModes();
    QTest::newRow("rfc2217 over ipv6") << Ser2NetGateway::Mode::Rfc2217;
}

// CR as one byte, 0 as itself, 255 not taken for a Telnet command, in both
// directions.
void TestNetworkPorts::bytesCrossBothWaysUnchanged()
{
    QFETCH(Ser2NetGateway::Mode, mode);
    const bool v6 = QByteArray(QTest::currentDataTag()).contains("ipv6");
    Bridge b(mode, v6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"));
    QVERIFY2(b.started, qPrintable(b.gateway.error()));
    const auto opened = koru::test::openPort(b.comm);
    QVERIFY2(opened, qPrintable(opened.message()));
    QVERIFY(b.comm.portOpen());
    QSignalSpy notified(&b.comm, &MSComm::OnComm);

    QVERIFY(b.comm.setOutput(QStringLiteral("C00\r")));
    QCOMPARE(b.pty.readAtLeast(4), QByteArray("C00\r"));
    const QByteArray awkward("\xff\x00\r\xff\xff\r\n\x00", 8);
    QVERIFY(b.comm.setOutput(QString::fromLatin1(awkward)));
    QCOMPARE(b.pty.readAtLeast(awkward.size()), awkward);

    QVERIFY(b.pty.write(QByteArray("\x06\r")));
    QCOMPARE(receiveAtLeast(b.comm, 2), QStringLiteral("\x06\r"));
    QVERIFY(notified.count() >= 1);
    QCOMPARE(b.comm.commEvent(), qint16(MSComm::comEvReceive));
    QVERIFY(b.pty.write(awkward));
    QCOMPARE(receiveAtLeast(b.comm, awkward.size()), QString::fromLatin1(awkward));
    QCOMPARE(b.pty.readFor(50ms), QByteArray()); // nothing of the session's own reached the line
}

void TestNetworkPorts::receiveBufferIsBoundedAndLosesNothing_data()
{
    QTest::addColumn<int>("gateway"); // -1: the pty itself
    QTest::newRow("serial device") << -1;
    QTest::newRow("tcp") << int(Ser2NetGateway::Mode::RawTcp);
    QTest::newRow("rfc2217") << int(Ser2NetGateway::Mode::Rfc2217);
}

void TestNetworkPorts::receiveBufferIsBoundedAndLosesNothing()
{
    QFETCH(int, gateway);
    PtyPair pty;
    Ser2NetGateway server;
    MSComm comm;
    if (gateway < 0) {
        comm.setDevicePath(1, pty.slavePath());
    } else {
        QVERIFY2(server.start(pty.slavePath(), Ser2NetGateway::Mode(gateway)), qPrintable(server.error()));
        comm.setDevicePath(1, server.address());
    }
    QVERIFY(comm.setSettings(QStringLiteral("19200,N,8,1")));
    QVERIFY(koru::test::openPort(comm));

    QByteArray flood;
    for (int i = 0; i < 6000; ++i)
        flood += char(i % 7 == 0 ? 0xff : 'A' + i % 26);
    // Let it pile up unread first, then read it in whatever chunks come.
    QVERIFY(pty.write(flood));
    QTest::qWait(200);
    qsizetype largest = 0;
    const QString received = receiveAtLeast(comm, flood.size(), &largest);
    QCOMPARE(received.size(), flood.size());
    QVERIFY(received == QString::fromLatin1(flood));
    QVERIFY2(largest <= koru::Transport::kReadBufferSize, qPrintable(QString::number(largest)));
}

void TestNetworkPorts::speedChoiceSetsTheGatewaysLine()
{
    Bridge b(Ser2NetGateway::Mode::Rfc2217);
    QVERIFY2(b.started, qPrintable(b.gateway.error()));
    QVERIFY(b.comm.setSettings(QStringLiteral("9600,N,8,1")));
    QVERIFY(koru::test::openPort(b.comm));
    // The open itself set the line (the gateway was configured for 19200).
    QCOMPARE(koru::test::lineSpeed(b.pty.masterFd()), speed_t(B9600));

    QSignalSpy notified(&b.comm, &MSComm::OnComm);
    QVERIFY(b.comm.setSettings(QStringLiteral("19200,N,8,1")));
    QTRY_COMPARE(koru::test::lineSpeed(b.pty.masterFd()), speed_t(B19200));
    QVERIFY(b.comm.setSettings(QStringLiteral("9600,N,8,1")));
    QTRY_COMPARE(koru::test::lineSpeed(b.pty.masterFd()), speed_t(B9600));
    // Confirmed, not merely sent: the port stays open past the answer wait.
    QTest::qWait(int(koru::Transport::kConnectTimeout.count()) + 200);
    QVERIFY(b.comm.portOpen());
    QCOMPARE(notified.count(), 0);
    QVERIFY(b.comm.setOutput(QStringLiteral("C09\r")));
    QCOMPARE(b.pty.readAtLeast(4), QByteArray("C09\r"));
}

void TestNetworkPorts::tcpKeepsTheGatewaysSpeed()
{
    Bridge b(Ser2NetGateway::Mode::RawTcp);
    QVERIFY2(b.started, qPrintable(b.gateway.error()));
    QVERIFY(b.comm.setSettings(QStringLiteral("9600,N,8,1")));
    QVERIFY(koru::test::openPort(b.comm));
    // ser2net sets up its device when the connection is accepted, a moment
    // after our open returns.
    QTRY_COMPARE(koru::test::lineSpeed(b.pty.masterFd()), speed_t(B19200)); // the gateway's own
    QVERIFY(b.comm.setSettings(QStringLiteral("19200,N,8,1")));
    QVERIFY(b.comm.setSettings(QStringLiteral("9600,N,8,1")));
    QCOMPARE(b.comm.settings(), QStringLiteral("9600,N,8,1")); // kept for the next serial port
    QTest::qWait(200);
    QCOMPARE(koru::test::lineSpeed(b.pty.masterFd()), speed_t(B19200));
    QVERIFY(b.comm.portOpen());
}

void TestNetworkPorts::refusedConnectionSaysWhatToCheck_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("rfc2217") << "rfc2217";
}

void TestNetworkPorts::refusedConnectionSaysWhatToCheck()
{
    QFETCH(QString, scheme);
    const quint16 port = koru::test::freeLoopbackPort();
    QVERIFY(port != 0);
    const QString address = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    MSComm comm;
    comm.setDevicePath(2, address);
    QVERIFY(comm.setCommPort(2));
    const auto opened = koru::test::openPort(comm);
    QVERIFY(!opened);
    QVERIFY(!comm.portOpen());
    QVERIFY2(opened.message().startsWith(QStringLiteral("COM2 (") + address + u')'), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(QStringLiteral("refused")), qPrintable(opened.message()));
    QVERIFY2(opened.message().endsWith(QStringLiteral("Is the gateway running, is the port right?")),
             qPrintable(opened.message()));
}

// A label longer than 63 characters is no host name: the resolver refuses it
// before asking anyone, so no query leaves the machine.
void TestNetworkPorts::unresolvableNameIsNamed()
{
    const QString name = QString(64, u'k') + QStringLiteral(".invalid");
    MSComm comm;
    comm.setDevicePath(1, QStringLiteral("tcp://%1:4001").arg(name));
    const auto opened = koru::test::openPort(comm);
    QVERIFY(!opened);
    QVERIFY2(opened.message().contains(QStringLiteral("cannot be resolved")), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(name), qPrintable(opened.message()));
}

void TestNetworkPorts::gatewayWithoutRfc2217SuggestsTcp()
{
    Bridge b(Ser2NetGateway::Mode::RawTcp);
    QVERIFY2(b.started, qPrintable(b.gateway.error()));
    const QString rfcAddress = QStringLiteral("rfc2217://127.0.0.1:%1").arg(b.gateway.port());
    b.comm.setDevicePath(1, rfcAddress);
    const auto opened = koru::test::openPort(b.comm);
    QVERIFY(!opened);
    QVERIFY(!b.comm.portOpen());
    QVERIFY2(opened.message().contains(QStringLiteral("does not speak RFC 2217")), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(QStringLiteral("tcp://127.0.0.1:%1").arg(b.gateway.port())),
             qPrintable(opened.message()));
}

void TestNetworkPorts::gatewayKilledClosesThePortOnce_data()
{
    addModes();
}

// The same path as a hang-up: closed at once, one notification, idle, and
// every send says what happened until the port is chosen again.
void TestNetworkPorts::gatewayKilledClosesThePortOnce()
{
    QFETCH(Ser2NetGateway::Mode, mode);
    Bridge b(mode);
    QVERIFY2(b.started, qPrintable(b.gateway.error()));
    QVERIFY(koru::test::openPort(b.comm));
    QVERIFY(b.comm.setOutput(QStringLiteral("C00\r")));
    QCOMPARE(b.pty.readAtLeast(4), QByteArray("C00\r"));
    QSignalSpy notified(&b.comm, &MSComm::OnComm);

    b.gateway.kill();
    QTRY_VERIFY_WITH_TIMEOUT(b.comm.transport() == nullptr, 2000);
    QVERIFY(!b.comm.portOpen());
    QCOMPARE(notified.count(), 1);
    QCOMPARE(b.comm.commEvent(), qint16(MSComm::comEventLineLost));

    KORU_VERIFY_IDLE_SECOND();
    QCOMPARE(notified.count(), 1);

    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto sent = b.comm.setOutput(QStringLiteral("C00\r"));
        QVERIFY(!sent);
        QVERIFY2(sent.message().contains(QStringLiteral("COM1 (%1) was lost").arg(b.gateway.address())),
                 qPrintable(sent.message()));
        QVERIFY2(sent.message().contains(QStringLiteral("closed the connection")), qPrintable(sent.message()));
    }
    // Choosing the port again answers the loss; a new attempt meets the dead
    // gateway and says so.
    QVERIFY(b.comm.setCommPort(1));
    QVERIFY(b.comm.setOutput(QStringLiteral("C00\r")).message().contains(QStringLiteral("not open")));
    const auto reopened = koru::test::openPort(b.comm);
    QVERIFY(!reopened);
    QVERIFY2(reopened.message().contains(QStringLiteral("refused")), qPrintable(reopened.message()));
}

QTEST_GUILESS_MAIN(TestNetworkPorts)
#include "tst_networkports.moc"
