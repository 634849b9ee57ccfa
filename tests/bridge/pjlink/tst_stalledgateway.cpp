// One bridge, two projectors: one on the simulator, the other behind a
// gateway that never answers. Opening the broken one's line, and opening it
// again at every retry, must not hold up the event loop the working one's
// PJLink controllers are served from.
#include "support/pjlinkclient.h"
#include "support/silentgateway.h"
#include "support/pjlinkfixture.h"
#include "line/projectorline.h"
#include "serial/transport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using koru::test::PjlinkFixture;
using koru::test::PjlinkClient;
using koru::test::SilentGateway;

class TestStalledGateway : public QObject
{
    Q_OBJECT

private slots:
    void otherProjectorsKeepAnswering_data();
    void otherProjectorsKeepAnswering();
};

void TestStalledGateway::otherProjectorsKeepAnswering_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("queueFull");
    QTest::addColumn<QString>("said"); // when the broken line's open gives up
    QTest::newRow("rfc2217, accepted and silent") << "rfc2217" << false << "does not speak RFC 2217: no answer";
    QTest::newRow("tcp, connect pending") << "tcp" << true << "no answer within 3 s";
}

void TestStalledGateway::otherProjectorsKeepAnswering()
{
    QFETCH(QString, scheme);
    QFETCH(bool, queueFull);
    QFETCH(QString, said);

    PjlinkFixture working;
    QVERIFY(working.ready);
    SilentGateway gateway(queueFull);
    QVERIFY(gateway.port() != 0);
    koru::bridge::ProjectorConfig config;
    config.id = QStringLiteral("hall");
    config.port = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(gateway.port());
    koru::bridge::BridgeProjector broken(config, koru::test::quickTimings());
    QStringList notices;
    connect(&broken, &koru::bridge::BridgeProjector::notice, this, [&notices](const QString &text) { notices << text; });
    broken.start();
    QVERIFY(broken.line()->isOpening()); // started, not waited for

    PjlinkClient client;
    QVERIFY(client.connectTo(working.pjlinkPort()));
    // The first open's bound and the retry after it, which starts another.
    const auto span = koru::Transport::kConnectTimeout + 1s;
    QElapsedTimer clock;
    clock.start();
    qint64 slowest = 0;
    qint64 slowestAt = 0;
    int requests = 0;
    QTcpSocket &socket = client.socket();
    while (clock.elapsed() < span.count()) {
        // The reply is waited for in an event loop of its own, which returns
        // the moment it comes: what is timed is the bridge, not a poll.
        QElapsedTimer one;
        one.start();
        socket.write("%1CLSS ?\r");
        QByteArray reply;
        QSignalSpy arrived(&socket, &QTcpSocket::readyRead);
        while (!reply.endsWith('\r') && (socket.bytesAvailable() > 0 || arrived.wait(1000)))
            reply += socket.readAll();
        if (one.elapsed() > slowest) {
            slowest = one.elapsed();
            slowestAt = clock.elapsed();
        }
        QCOMPARE(reply, QByteArray("%1CLSS=1\r"));
        ++requests;
        QTest::qWait(10); // a controller's pace, not a flood
    }
    qInfo("%d requests, the slowest %lld ms, %lld ms in", requests, slowest, slowestAt);
    QVERIFY2(slowest < 50, qPrintable(QString::number(slowest)));
    QVERIFY(!broken.line()->isOpen());
    QCOMPARE(notices.size(), 1); // the failure, once, however often it is tried
    QVERIFY2(notices.first().contains(said), qPrintable(notices.first()));
    QVERIFY(broken.line()->isOpening()); // tried again
}

QTEST_GUILESS_MAIN(TestStalledGateway)
#include "tst_stalledgateway.moc"
