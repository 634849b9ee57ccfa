// One bridge, two projectors: one on the simulator, the other behind a
// gateway that never answers. Opening the broken one's line, and opening it
// again at every retry, must not hold up the event loop the working one's
// PJLink controllers are served from.
#include "support/pjlinkclient.h"
#include "bridgefixture.h"
#include "line/projectorline.h"
#include "serial/transport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

using namespace std::chrono_literals;
using koru::test::BridgeFixture;
using koru::test::PjlinkClient;

namespace {

// A loopback listener that nobody serves. With `queueFull` its accept queue
// is taken by a connection of its own, so that the kernel drops every further
// SYN and a connect to it stays pending; otherwise the kernel accepts the
// connection and nothing is ever said on it.
class SilentGateway
{
public:
    explicit SilentGateway(bool queueFull)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_listener, queueFull ? 0 : 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        if (queueFull) {
            // A backlog of 0 holds one connection; the handshake on loopback
            // is done before connect() returns.
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (filler < 0 || ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
                m_port = 0;
            m_fillers.push_back(filler);
        }
    }
    ~SilentGateway()
    {
        for (int fd : m_fillers)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace

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

    BridgeFixture working;
    QVERIFY(working.ready);
    SilentGateway gateway(queueFull);
    QVERIFY(gateway.port() != 0);
    koru::bridge::ProjectorConfig config;
    config.id = QStringLiteral("hall");
    config.port = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(gateway.port());
    koru::bridge::BridgeProjector broken(config, {}, koru::test::quickTimings());
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
