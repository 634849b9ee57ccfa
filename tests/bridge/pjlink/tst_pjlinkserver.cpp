// The bridge's PJLink server in front of the simulated projector, spoken to
// by a controller of the tests' own over loopback: every row of the mapping,
// the authentication, the errors, the limits and both kinds of controller.
#include "support/pjlinkclient.h"
#include "support/pjlinkfixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using koru::test::PjlinkFixture;
using koru::test::PjlinkClient;

Q_DECLARE_METATYPE(PjlinkClient::Digest)

class TestPjlinkServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void mapping_data();
    void mapping();
    void silentProjector();
    void authentication_data();
    void authentication();
    void limits();
    void passwordGuessersShutOut();
    void controllerStyles();
    void holdWhileControllersPoll();
    void notPjlink_data();
    void notPjlink();
    void pipelined();
    void waitingForTheLine();
    void unreadRepliesHoldBackInput();
    void perAddressLimit();

private:
    std::unique_ptr<PjlinkFixture> m_bridge; // one projector through the whole mapping
    PjlinkClient m_client;
};

void TestPjlinkServer::initTestCase()
{
    m_bridge = std::make_unique<PjlinkFixture>();
    QVERIFY(m_bridge->ready);
    QVERIFY(m_client.connectTo(m_bridge->pjlinkPort()));
    QCOMPARE(m_client.greeting(), QByteArray("PJLINK 0\r"));
}

void TestPjlinkServer::cleanupTestCase()
{
    m_bridge.reset();
}

void TestPjlinkServer::mapping_data()
{
    QTest::addColumn<bool>("eventually"); // the projector gets there by itself: asked until it has
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("sent"); // the command frame the projector got; empty: none
    QTest::addColumn<bool>("asIs"); // `request` is the bytes sent, header and line ends included

    const auto row = [](const char *name, const char *when, const char *request, const char *reply,
                        const char *sent = "") {
        QTest::newRow(name) << (*when != 0) << QByteArray(request) << QByteArray(reply) << QByteArray(sent) << false;
    };
    const auto bytes = [](const char *name, const char *request, const char *reply) {
        QTest::newRow(name) << false << QByteArray(request) << QByteArray(reply) << QByteArray() << true;
    };
    row("standing by", "", "POWR ?", "%1POWR=0\r");
    row("inputs", "", "INST ?", "%1INST=11 41 21\r");
    row("input at start", "", "INPT ?", "%1INPT=11\r");
    row("input MCI", "", "INPT 41", "%1INPT=OK\r", "C06");
    row("input read back MCI", "", "INPT ?", "%1INPT=41\r");
    row("input video", "", "INPT 21", "%1INPT=OK\r", "C07");
    row("input read back video", "", "INPT ?", "%1INPT=21\r");
    row("input PC", "", "INPT 11", "%1INPT=OK\r", "C05");
    row("no input 51", "", "INPT 51", "%1INPT=ERR2\r");
    row("mutes at start", "", "AVMT ?", "%1AVMT=30\r");
    row("video mute", "", "AVMT 11", "%1AVMT=OK\r", "C0D");
    row("video muted", "", "AVMT ?", "%1AVMT=11\r");
    row("audio mute", "", "AVMT 21", "%1AVMT=OK\r", "C0B");
    row("both muted", "", "AVMT ?", "%1AVMT=31\r");
    row("video unmute", "", "AVMT 10", "%1AVMT=OK\r", "C0E");
    row("audio muted", "", "AVMT ?", "%1AVMT=21\r");
    row("audio unmute", "", "AVMT 20", "%1AVMT=OK\r", "C0C");
    row("none muted", "", "AVMT ?", "%1AVMT=30\r");
    row("both mute", "", "AVMT 31", "%1AVMT=OK\r", "C0D C0B");
    row("both on", "", "AVMT ?", "%1AVMT=31\r");
    row("both unmute", "", "AVMT 30", "%1AVMT=OK\r", "C0E C0C");
    row("lamp dark", "", "LAMP ?", "%1LAMP=1234 0\r");
    row("no errors", "", "ERST ?", "%1ERST=000000\r");
    row("name", "", "NAME ?", "%1NAME=Room 2.14\r");
    row("manufacturer", "", "INF1 ?", "%1INF1=KORU\r");
    row("model", "", "INF2 ?", "%1INF2=LMV5\r");
    row("other information", "", "INFO ?", "%1INFO=second floor\r");
    row("class", "", "CLSS ?", "%1CLSS=1\r");
    row("switch on", "", "POWR 1", "%1POWR=OK\r", "C00");
    row("warming up", "", "POWR ?", "%1POWR=3\r");
    row("lamp lit warming up", "", "LAMP ?", "%1LAMP=1234 1\r");
    row("on", "later", "POWR ?", "%1POWR=1\r");
    row("mute while on", "", "AVMT 31", "%1AVMT=OK\r", "C0D C0B");
    row("switch off", "", "POWR 0", "%1POWR=OK\r", "C02");
    row("cooling down", "", "POWR ?", "%1POWR=2\r");
    row("on while cooling down", "", "POWR 1", "%1POWR=ERR3\r");
    row("standing by again", "later", "POWR ?", "%1POWR=0\r");
    row("standby ends the mutes", "", "AVMT ?", "%1AVMT=30\r");
    row("no such command", "", "FREZ ?", "%1FREZ=ERR1\r");
    row("no such power", "", "POWR 2", "%1POWR=ERR2\r");
    row("no such mute", "", "AVMT 41", "%1AVMT=ERR2\r");
    // Line ends and requests not as the standard writes them; the
    // connection stays open through all of them.
    bytes("CR LF", "%1POWR ?\r\n", "%1POWR=0\r");
    bytes("after CR LF", "%1CLSS ?\r\n", "%1CLSS=1\r");
    bytes("CR LF, two in one packet", "%1POWR ?\r\n%1NAME ?\r\n", "%1POWR=0\r%1NAME=Room 2.14\r");
    bytes("empty lines passed over", "\r\r\n%1CLSS ?\r", "%1CLSS=1\r");
    bytes("no separator", "%1POWR?\r", "%1POWR=ERR2\r");
    bytes("no parameter", "%1INPT\r", "%1INPT=ERR2\r");
    bytes("empty parameter", "%1AVMT \r", "%1AVMT=ERR2\r");
    bytes("unknown, no separator", "%1FREZ?\r", "%1FREZ=ERR1\r");
    bytes("class 2, no separator", "%2POWR?\r", "%2POWR=ERR1\r");
    bytes("no header", "POWR ?\r", "%1POWR=ERR1\r");
    bytes("well formed again", "%1INF1 ?\r", "%1INF1=KORU\r");
}

void TestPjlinkServer::mapping()
{
    QFETCH(bool, eventually);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, sent);
    QFETCH(bool, asIs);
    QSignalSpy frames(&m_bridge->sim, &koru::sim::ProjectorSim::frameReceived);
    if (eventually)
        QTRY_COMPARE_WITH_TIMEOUT(m_client.request(request), reply, 3000);
    else if (asIs)
        QCOMPARE(m_client.exchange(request, int(reply.count('\r'))), reply);
    else
        QCOMPARE(m_client.request(request), reply);
    QByteArrayList commands; // what reached the projector beside the bridge's own polls
    for (const QList<QVariant> &frame : std::as_const(frames)) {
        if (!koru::isQueryCode(frame.first().toByteArray()))
            commands.append(frame.first().toByteArray());
    }
    QCOMPARE(commands.join(' '), sent);
}

void TestPjlinkServer::silentProjector()
{
    PjlinkFixture bridge;
    QVERIFY(bridge.ready);
    PjlinkClient client;
    QVERIFY(client.connectTo(bridge.pjlinkPort()));
    bridge.sim.setFaultMode(koru::sim::FaultMode::Silent);
    QCOMPARE(client.request("POWR 1"), QByteArray("%1POWR=ERR4\r"));
    // The poll after the command went unanswered too: nothing is known now.
    QCOMPARE(client.request("POWR ?"), QByteArray("%1POWR=ERR4\r"));
    QCOMPARE(client.request("ERST ?"), QByteArray("%1ERST=ERR4\r"));
    // What the bridge knows of itself it still says.
    QCOMPARE(client.request("NAME ?"), QByteArray("%1NAME=Room 2.14\r"));
}

void TestPjlinkServer::authentication_data()
{
    QTest::addColumn<PjlinkClient::Digest>("digest");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("right") << PjlinkClient::Digest::Right << QByteArray("%1POWR=0\r");
    QTest::newRow("wrong") << PjlinkClient::Digest::Wrong << QByteArray("PJLINK ERRA\r");
    QTest::newRow("missing") << PjlinkClient::Digest::Missing << QByteArray("PJLINK ERRA\r");
}

void TestPjlinkServer::authentication()
{
    QFETCH(PjlinkClient::Digest, digest);
    QFETCH(QByteArray, reply);
    PjlinkFixture bridge("JBMIAProjectorLink");
    QVERIFY(bridge.ready);
    PjlinkClient client;
    QVERIFY(client.connectTo(bridge.pjlinkPort()));
    QVERIFY(client.greeting().startsWith("PJLINK 1 "));
    QCOMPARE(client.greeting().size(), 18);
    PjlinkClient other;
    QVERIFY(other.connectTo(bridge.pjlinkPort()));
    QVERIFY(other.greeting() != client.greeting()); // a new random number every connection
    client.setPassword("JBMIAProjectorLink", digest);
    QCOMPARE(client.request("POWR ?"), reply);
    if (digest == PjlinkClient::Digest::Right) {
        // Only the first request carries the digest.
        QCOMPARE(client.request("CLSS ?"), QByteArray("%1CLSS=1\r"));
        QVERIFY(!client.closedByPeer(100ms));
    } else {
        QVERIFY(client.closedByPeer());
    }
}

void TestPjlinkServer::limits()
{
    auto limits = koru::test::quickPjlinkLimits();
    limits.idle = 1s;
    PjlinkFixture bridge({}, limits, 2);
    QVERIFY(bridge.ready);
    PjlinkClient first, second, third;
    QVERIFY(first.connectTo(bridge.pjlinkPort()));
    QVERIFY(second.connectTo(bridge.pjlinkPort()));
    // Past the configured number: closed at once, not even greeted.
    QVERIFY(!third.connectTo(bridge.pjlinkPort(), 200ms));
    QVERIFY(third.closedByPeer());

    // The longest line the standard allows is answered; one byte more, and
    // no CR, and the connection is closed.
    QCOMPARE(first.request("NAME " + QByteArray(128, 'x')), QByteArray("%1NAME=ERR2\r"));
    first.socket().write("%1NAME " + QByteArray(130, 'x'));
    QVERIFY(first.closedByPeer());

    // Quiet for the idle time: closed; a free place again for the next.
    QVERIFY(!second.closedByPeer(200ms));
    QVERIFY(second.closedByPeer(2s));
    PjlinkClient fourth;
    QVERIFY(fourth.connectTo(bridge.pjlinkPort()));
}

void TestPjlinkServer::passwordGuessersShutOut()
{
    PjlinkFixture bridge("secret");
    QVERIFY(bridge.ready);
    for (int attempt = 0; attempt < 3; ++attempt) {
        PjlinkClient guesser;
        QVERIFY(guesser.connectTo(bridge.pjlinkPort()));
        guesser.setPassword("secret", PjlinkClient::Digest::Wrong);
        QCOMPARE(guesser.request("POWR ?"), QByteArray("PJLINK ERRA\r"));
    }
    // Even with the right password, the address is shut out for the block
    // time: told so after a pause, in place of the greeting, then closed;
    // said once in the log however often it knocks.
    QSignalSpy notices(bridge.server.get(), &koru::bridge::PjlinkServer::notice);
    PjlinkClient blocked, again;
    QElapsedTimer waited;
    waited.start();
    QVERIFY(blocked.connectTo(bridge.pjlinkPort()));
    QVERIFY(again.connectTo(bridge.pjlinkPort()));
    QVERIFY(waited.elapsed() >= 300); // quickPjlinkLimits()' shutOutPause
    QCOMPARE(blocked.greeting() + again.greeting(), QByteArray("PJLINK ERRA\rPJLINK ERRA\r"));
    QVERIFY(blocked.closedByPeer());
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().first().toString().contains("127.0.0.1 is shut out"));
    QTest::qWait(700);
    PjlinkClient later;
    QVERIFY(later.connectTo(bridge.pjlinkPort()));
    later.setPassword("secret");
    QCOMPARE(later.request("POWR ?"), QByteArray("%1POWR=0\r"));
}

// One that connects for every poll, as Home Assistant does; one that keeps
// its connection and polls more often than the idle time, as OpenLP does.
void TestPjlinkServer::controllerStyles()
{
    PjlinkFixture bridge("secret");
    QVERIFY(bridge.ready);
    PjlinkClient keeper;
    QVERIFY(keeper.connectTo(bridge.pjlinkPort()));
    keeper.setPassword("secret");
    for (int poll = 0; poll < 5; ++poll) {
        PjlinkClient once;
        QVERIFY(once.connectTo(bridge.pjlinkPort()));
        once.setPassword("secret");
        QCOMPARE(once.request("POWR ?"), QByteArray("%1POWR=0\r"));
        QCOMPARE(keeper.request("INPT ?"), QByteArray("%1INPT=11\r"));
        QTest::qWait(150);
    }
    QTRY_COMPARE(bridge.server->connectionCount(), 1);
}

// 20 controllers poll every 100 ms for 5 s while one raw client holds VOL +
// on the same line:
// every answer is right, and the hold reaches the projector at its period.
void TestPjlinkServer::holdWhileControllersPoll()
{
    PjlinkFixture bridge({}, koru::test::quickPjlinkLimits(), 24, 24);
    QVERIFY(bridge.ready);
    constexpr int kControllers = 20;
    constexpr auto kPoll = 100ms;
    constexpr auto kRun = 5s;
    const koru::Millis period = koru::commandByName(u"vol-up")->timing->t1;

    int right = 0;
    QList<QByteArray> wrong;
    std::vector<std::unique_ptr<QTcpSocket>> controllers;
    std::vector<std::unique_ptr<QTimer>> pollers;
    for (int i = 0; i < kControllers; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket *s = socket.get();
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, buffer, &right, &wrong] {
            *buffer += s->readAll();
            for (qsizetype cr; (cr = buffer->indexOf('\r')) >= 0; buffer->remove(0, cr + 1)) {
                const QByteArray line = buffer->left(cr + 1);
                if (line == "%1POWR=0\r")
                    ++right;
                else if (line != "PJLINK 0\r")
                    wrong.append(line);
            }
        });
        s->connectToHost(QHostAddress::LocalHost, bridge.pjlinkPort());
        auto timer = std::make_unique<QTimer>();
        timer->setInterval(kPoll);
        QObject::connect(timer.get(), &QTimer::timeout, s, [s] { s->write("%1POWR ?\r"); });
        controllers.push_back(std::move(socket));
        pollers.push_back(std::move(timer));
    }

    QTcpSocket holder;
    holder.connectToHost(QHostAddress::LocalHost, bridge.rawPort());
    QVERIFY(QTest::qWaitFor([&] { return holder.state() == QAbstractSocket::ConnectedState; }));
    QTimer hold;
    hold.setTimerType(Qt::PreciseTimer);
    hold.setInterval(period);
    QObject::connect(&hold, &QTimer::timeout, &holder, [&holder] { holder.write("C09\r"); });
    QObject::connect(&holder, &QTcpSocket::readyRead, &holder, [&holder] { holder.readAll(); });

    QElapsedTimer clock;
    clock.start();
    QList<qint64> arrivals;
    QObject::connect(&bridge.sim, &koru::sim::ProjectorSim::frameReceived, &holder, [&](const QByteArray &frame) {
        if (frame == "C09")
            arrivals.append(clock.elapsed());
    });
    for (auto &timer : pollers)
        timer->start();
    holder.write("C09\r");
    hold.start();
    QTest::qWait(int(std::chrono::milliseconds(kRun).count()));
    hold.stop();
    const qint64 lastSend = clock.elapsed();
    for (auto &timer : pollers)
        timer->stop();
    QTest::qWait(500);

    QVERIFY2(wrong.isEmpty(), wrong.isEmpty() ? "" : wrong.first().constData());
    const int expectedPolls = kControllers * int(kRun / kPoll);
    QVERIFY2(right >= expectedPolls * 9 / 10, qPrintable(QString::number(right)));
    QVERIFY(arrivals.size() > 10);
    const double rate = (arrivals.size() - 1) * 1000.0 / double(arrivals.last() - arrivals.first());
    const double wanted = 1000.0 / double(period.count());
    QVERIFY2(std::abs(rate - wanted) / wanted < 0.02, qPrintable(QStringLiteral("%1 frames/s").arg(rate)));
    QVERIFY(arrivals.last() <= lastSend + period.count());
}

void TestPjlinkServer::notPjlink_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("HTTP") << QByteArray("GET / HTTP/1.0\r\n");
    QTest::newRow("headerless, no command") << QByteArray("HELO there\r");
    QTest::newRow("no body") << QByteArray("%1\r");
}

// What is no PJLink at all is closed without a word.
void TestPjlinkServer::notPjlink()
{
    QFETCH(QByteArray, line);
    PjlinkClient client;
    QVERIFY(client.connectTo(m_bridge->pjlinkPort()));
    QCOMPARE(client.exchange(line, 1, 300ms), QByteArray());
    QVERIFY(client.closedByPeer());
}

// Forty requests in one write, half of them ended CR LF: every one is
// answered, in order.
void TestPjlinkServer::pipelined()
{
    const std::pair<const char *, const char *> asked[] = {
        { "NAME ?", "%1NAME=Room 2.14\r" }, { "INF1 ?", "%1INF1=KORU\r" }, { "INF2 ?", "%1INF2=LMV5\r" },
        { "INFO ?", "%1INFO=second floor\r" }, { "CLSS ?", "%1CLSS=1\r" },
    };
    QByteArray requests, replies;
    for (int i = 0; i < 40; ++i) {
        requests += QByteArray("%1") + asked[i % 5].first + (i % 2 ? "\r\n" : "\r");
        replies += asked[i % 5].second;
    }
    PjlinkClient client;
    QVERIFY(client.connectTo(m_bridge->pjlinkPort()));
    QCOMPARE(client.exchange(requests, 40), replies);
}

// Behind a slow line a command takes longer than the idle time: the
// connection waits for it, its next requests wait behind it up to the
// bound, and one past the bound is told ERR3 at once.
void TestPjlinkServer::waitingForTheLine()
{
    auto limits = koru::test::quickPjlinkLimits();
    limits.idle = 400ms;
    PjlinkFixture bridge({}, limits);
    QVERIFY(bridge.ready);
    bridge.sim.setReplyDelay(300ms); // the command and the poll after it: 600 ms at least
    PjlinkClient client;
    QVERIFY(client.connectTo(bridge.pjlinkPort()));
    QCOMPARE(client.exchange("%1INPT 21\r%1INPT ?\r%1CLSS ?\r%1NAME ?\r%1POWR ?\r", 5),
             QByteArray("%1POWR=ERR3\r%1INPT=OK\r%1INPT=21\r%1CLSS=1\r%1NAME=Room 2.14\r"));
    // With nothing left to answer, the idle time runs again.
    QVERIFY(client.closedByPeer(2s));
}

// A controller that sends and never reads: the bridge reads only as fast
// as the replies leave, so the flood waits in TCP, not in the bridge.
void TestPjlinkServer::unreadRepliesHoldBackInput()
{
    auto limits = koru::test::quickPjlinkLimits();
    limits.idle = 1s;
    PjlinkFixture bridge({}, limits);
    QVERIFY(bridge.ready);
    const koru::bridge::PjlinkServer *server = bridge.server.get();
    QTcpSocket flooder;
    flooder.setReadBufferSize(64); // the test's own side keeps nothing either
    flooder.connectToHost(QHostAddress::LocalHost, bridge.pjlinkPort());
    QVERIFY(QTest::qWaitFor([&] { return flooder.state() == QAbstractSocket::ConnectedState; }));

    const QByteArray chunk = QByteArray("%1INST ?\r").repeated(1000);
    constexpr qint64 kFlood = 20 * 1024 * 1024;
    qint64 sent = 0;
    qint64 mostBuffered = 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    (void)QTest::qWaitFor(
        [&] {
            mostBuffered = qMax(mostBuffered, server->bufferedBytes());
            const qint64 before = sent;
            while (flooder.bytesToWrite() < 64 * 1024 && sent < kFlood)
                sent += flooder.write(chunk);
            if (sent != before)
                sinceProgress.restart();
            return sent >= kFlood || sinceProgress.elapsed() > 500;
        },
        20000);
    qInfo("sent %lld bytes; the bridge held %lld at most", sent, mostBuffered);
    QVERIFY(sent > 1024 * 1024);
    QVERIFY(mostBuffered < 16 * 1024);
    // Meanwhile the others are answered, and the flooder is cut free after the
    // idle time, though it never read what it was sent.
    PjlinkClient other;
    QVERIFY(other.connectTo(bridge.pjlinkPort()));
    QCOMPARE(other.request("CLSS ?"), QByteArray("%1CLSS=1\r"));
    other.socket().abort();
    QTRY_COMPARE_WITH_TIMEOUT(server->connectionCount(), 0, 5000);
    QCOMPARE(server->bufferedBytes(), 0);
}

// One address takes only its share of the listener's places; its refusals
// are said once in the log.
void TestPjlinkServer::perAddressLimit()
{
    PjlinkFixture bridge({}, koru::test::quickPjlinkLimits(), 8, 2);
    QVERIFY(bridge.ready);
    QSignalSpy notices(bridge.server.get(), &koru::bridge::PjlinkServer::notice);
    PjlinkClient first, second, third, fourth, elsewhere;
    QVERIFY(first.connectTo(bridge.pjlinkPort()));
    QVERIFY(second.connectTo(bridge.pjlinkPort()));
    QVERIFY(!third.connectTo(bridge.pjlinkPort(), 200ms));
    QVERIFY(!fourth.connectTo(bridge.pjlinkPort(), 200ms));
    QVERIFY(third.closedByPeer() && fourth.closedByPeer());
    // Another address of this machine still gets in.
    QVERIFY(elsewhere.socket().bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    QVERIFY(elsewhere.connectTo(bridge.pjlinkPort()));
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().first().toString().contains("refused a connection from 127.0.0.1"));
}

QTEST_GUILESS_MAIN(TestPjlinkServer)
#include "tst_pjlinkserver.moc"
