// The raw shared port: clients that speak frames as the panel does, each
// hearing the replies to its own frames only, while PJLink controllers poll
// the same projector. The panel runs through it end to end.
#include "bridgefixture.h"
#include "support/panelfixture.h"

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
    void holdWhileControllersPoll();
    void panelThroughTheRawPort();
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

// 20 controllers poll every 100 ms for 5 s while one raw client holds VOL +:
// every answer is right, and the hold reaches the projector at its period.
void TestRawPort::holdWhileControllersPoll()
{
    BridgeFixture bridge({}, koru::test::quickTimings(), 24, 24);
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

// The panel with COM1 on the raw port: a click switches the projector on,
// and VOL + held repeats until the release, then stops.
void TestRawPort::panelThroughTheRawPort()
{
    BridgeFixture bridge;
    QVERIFY(bridge.ready);
    koru::test::PanelFixture panel(QStringLiteral("tcp://127.0.0.1:%1").arg(bridge.rawPort()));
    QVERIFY(panel.loaded);
    QVERIFY(panel.click("Command17"));
    QTRY_COMPARE(bridge.sim.projector().power(bridge.sim.clock()), koru::sim::PowerState::CountDown);
    QVERIFY(panel.waitForQuietMonitor());
    QSignalSpy frames(&bridge.sim, &koru::sim::ProjectorSim::frameReceived);
    koru::PanelButton *volumeUp = panel.button("Command1");
    QTest::mousePress(volumeUp, Qt::LeftButton);
    QTRY_VERIFY(std::count_if(frames.begin(), frames.end(), [](const QList<QVariant> &f) {
                    return f.first().toByteArray() == "C09";
                }) >= 4);
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    QTest::qWait(300); // a frame already on its way still arrives
    const auto afterRelease = frames.count();
    QTest::qWait(700);
    QCOMPARE(frames.count() - afterRelease,
             std::count_if(frames.begin() + afterRelease, frames.end(), [](const QList<QVariant> &f) {
                 return f.first().toByteArray() != "C09"; // only the bridge's own polls
             }));
    QCOMPARE(panel.reporter.count(), 0);
}

QTEST_MAIN(TestRawPort)
#include "tst_rawport.moc"
