// A projector's line kept open against a gateway of the test's own on
// loopback that takes each connection and closes it, at once or after a
// while: how often the bridge connects, and what it says.
#include "bridge/bridgeprojector.h"
#include "line/projectorline.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

class TestLineKeeper : public QObject
{
    Q_OBJECT

private slots:
    void gatewayThatCloses_data();
    void gatewayThatCloses();
};

void TestLineKeeper::gatewayThatCloses_data()
{
    QTest::addColumn<int>("keptMs");   // how long the gateway keeps each connection
    QTest::addColumn<int>("fewest");   // connections within the window
    QTest::addColumn<int>("most");
    QTest::addColumn<QStringList>("said");
    // Reopened after 50, 100, 200, 400, 400 ... ms: eight tries in the 2 s,
    // not one every 50 ms; lost said once, not at every try.
    QTest::newRow("closes at once") << 0 << 5 << 10 << QStringList { "open", "dropped as soon as it opened" };
    // Open longer than it takes to settle: a loss like any other, reopened
    // after the shortest pause and said open again at once.
    QTest::newRow("closes after it settled") << 1200 << 2 << 2 << QStringList { "open", "lost: the gateway or the network closed the connection; trying", "open" };
}

void TestLineKeeper::gatewayThatCloses()
{
    QFETCH(int, keptMs);
    QFETCH(int, fewest);
    QFETCH(int, most);
    QFETCH(QStringList, said);
    QTcpServer gateway;
    QVERIFY(gateway.listen(QHostAddress::LocalHost));
    int connects = 0;
    connect(&gateway, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = gateway.nextPendingConnection()) {
            ++connects;
            QTimer::singleShot(keptMs, socket, [socket] { socket->close(); });
        }
    });
    koru::bridge::ProjectorConfig config;
    config.id = QStringLiteral("hall");
    config.port = QStringLiteral("tcp://127.0.0.1:%1").arg(gateway.serverPort());
    koru::bridge::BridgeTimings timings;
    timings.reopen = { 50ms, 400ms, 1s };
    koru::bridge::BridgeProjector projector(config, timings);
    QStringList notices;
    connect(&projector, &koru::bridge::BridgeProjector::notice, this, [&notices](const QString &text) { notices << text; });
    projector.start();
    QTest::qWait(2000);
    projector.close();
    QVERIFY2(connects >= fewest && connects <= most, qPrintable(QString::number(connects)));
    QCOMPARE(notices.size(), said.size());
    for (qsizetype i = 0; i < said.size(); ++i)
        QVERIFY2(notices[i].contains(said[i]), qPrintable(notices[i]));
}

QTEST_GUILESS_MAIN(TestLineKeeper)
#include "tst_linekeeper.moc"
