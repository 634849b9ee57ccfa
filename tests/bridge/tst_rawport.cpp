// The raw shared port: clients that speak frames as the panel does, each
// hearing the replies to its own frames only. PJLink controllers beside it
// are tests/bridge/pjlink's; the panel through it is tests/app's.
#include "support/bridgefixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace std::chrono_literals;
using koru::test::BridgeFixture;

namespace {

const QByteArray kAckCr("\x06\r", 2);

// Bytes from `socket` while the event loop runs, until `count` have come.
QByteArray readAtLeast(QTcpSocket &socket, qsizetype count, int timeoutMs = 3000)
{
    QByteArray bytes;
    (void)QTest::qWaitFor(
        [&] {
            bytes += socket.readAll();
            return bytes.size() >= count;
        },
        timeoutMs);
    return bytes;
}

} // namespace

class TestRawPort : public QObject
{
    Q_OBJECT

private slots:
    void repliesGoToTheirOwnClient();
    void perAddressLimit();
};

// Two clients at once, one sending three frames back to back as on a direct
// line: each hears its own replies, whole and in order.
void TestRawPort::repliesGoToTheirOwnClient()
{
    BridgeFixture bridge;
    QVERIFY(bridge.ready);
    QTcpSocket querier, switcher;
    querier.connectToHost(QHostAddress::LocalHost, bridge.rawPort());
    switcher.connectToHost(QHostAddress::LocalHost, bridge.rawPort());
    QVERIFY(QTest::qWaitFor([&] {
        return querier.state() == QAbstractSocket::ConnectedState && switcher.state() == QAbstractSocket::ConnectedState;
    }));
    for (int round = 0; round < 5; ++round) {
        querier.write("CR0\rCR1\rCR3\r");
        switcher.write("C05\r");
    }
    const QByteArray answers = QByteArray("80\r1\r1234\r").repeated(5);
    QCOMPARE(readAtLeast(querier, answers.size()), answers);
    QCOMPARE(readAtLeast(switcher, 10), kAckCr.repeated(5));
    QTest::qWait(200);
    QCOMPARE(querier.bytesAvailable() + switcher.bytesAvailable(), 0);
}

// The raw port keeps to the per-address limit too, said in the log under
// its own name.
void TestRawPort::perAddressLimit()
{
    BridgeFixture bridge(koru::test::quickTimings(), 8, 2);
    QVERIFY(bridge.ready);
    QSignalSpy notices(bridge.projector.get(), &koru::bridge::BridgeProjector::notice);
    QTcpSocket raw[3];
    for (QTcpSocket &socket : raw) {
        socket.connectToHost(QHostAddress::LocalHost, bridge.rawPort());
        QVERIFY(QTest::qWaitFor([&] { return socket.state() != QAbstractSocket::ConnectingState; }));
    }
    QVERIFY(QTest::qWaitFor([&] { return raw[2].state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(bridge.projector->rawServer()->connectionCount(), 2);
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().first().toString().startsWith("[room] raw: refused a connection from 127.0.0.1"));
}

QTEST_GUILESS_MAIN(TestRawPort)
#include "tst_rawport.moc"
