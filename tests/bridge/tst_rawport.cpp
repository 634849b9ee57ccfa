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

QTEST_GUILESS_MAIN(TestRawPort)
#include "tst_rawport.moc"
