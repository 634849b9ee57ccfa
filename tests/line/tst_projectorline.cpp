// The shared projector line on a real pseudo-terminal, against the simulated
// projector or a far end the test answers for.
#include "line/projectorline.h"
#include "sim/projectorsim.h"
#include "support/pty.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using koru::line::Outcome;
using koru::line::ProjectorLine;
using koru::line::Result;
using koru::sim::ProjectorSim;

namespace {

// An owner that keeps every result it is handed, in order.
struct Owner : QObject
{
    QList<Result> results;
    QList<QByteArray> replies;
    koru::line::ResultHandler handler()
    {
        return [this](const Result &result) { results << result, replies << result.reply; };
    }
};

const QString kSettings = QStringLiteral("19200,N,8,1");
const QByteArray kAckCr(koru::kAckCr);

// Opens the line and runs the event loop until it says it is open.
bool openLine(ProjectorLine &line)
{
    QSignalSpy opened(&line, &ProjectorLine::opened);
    line.open();
    return opened.count() > 0 || opened.wait(5000);
}

} // namespace

class TestProjectorLine : public QObject
{
    Q_OBJECT

private slots:
    void ownersInterleaveAndEachGetsItsOwnReply();
    void lateReplyReachesNobody_data();
    void lateReplyReachesNobody();
    void holdBesideAnotherOwnersQueries();
    void hangUpEndsEveryRequestOnce();
    void ownerGoneTakesItsRequests();
};

void TestProjectorLine::ownersInterleaveAndEachGetsItsOwnReply()
{
    ProjectorSim sim({});
    QVERIFY(sim.start());
    ProjectorLine line(sim.devicePath(), kSettings);
    QVERIFY(openLine(line));
    Owner a, b;
    QList<QByteArray> order;
    connect(&line, &ProjectorLine::sent, &a, [&order](const QByteArray &frame) { order << frame; });
    line.submit(&a, "C00\r", a.handler());
    line.submit(&b, "CR0\r", b.handler());
    line.submit(&a, "CR1\r", a.handler());
    line.submit(&b, "C07\r", b.handler());
    line.submit(&b, "CR1\r", b.handler());
    QCOMPARE(line.queued(), 5);
    QTRY_COMPARE(a.results.size() + b.results.size(), 5);
    QCOMPARE(order, (QList<QByteArray> { "C00\r", "CR0\r", "CR1\r", "C07\r", "CR1\r" }));
    QCOMPARE(a.replies, (QList<QByteArray> { kAckCr, "1\r" }));
    QCOMPARE(b.replies, (QList<QByteArray> { "40\r", kAckCr, "3\r" }));
    QVERIFY(a.results[1].reading == koru::Reading(koru::Input::Computer)
            && b.results[0].reading == koru::Reading(koru::PowerState::CountDown));
    for (const Result &result : a.results + b.results)
        QVERIFY(result.outcome == Outcome::Answered && result.elapsed >= 15ms && result.elapsed < 500ms);
    // All five were queued before the first went: each waited for the line
    // at least as long as the frames before it took (whole milliseconds).
    const QList<Result> inOrder { a.results[0], b.results[0], a.results[1], b.results[1], b.results[2] };
    koru::Millis before { 0 };
    for (qsizetype i = 0; i < inOrder.size(); ++i) {
        QVERIFY2(inOrder[i].queued + koru::Millis(i + 1) >= before, qPrintable(QString::number(i)));
        before += inOrder[i].elapsed;
    }
}

void TestProjectorLine::lateReplyReachesNobody_data()
{
    QTest::addColumn<bool>("settle"); // the late bytes arrive while the line is idle
    QTest::newRow("arrives while idle") << true;
    QTest::newRow("waits unread when the next frame goes") << false;
}

void TestProjectorLine::lateReplyReachesNobody()
{
    QFETCH(bool, settle);
    koru::test::PtyPair projector; // the test answers for the projector
    ProjectorLine line(projector.slavePath(), kSettings);
    QVERIFY(openLine(line));
    Owner a, b;
    line.submit(&a, "C00\r", a.handler(), 100ms);
    QCOMPARE(projector.readAtLeast(4), QByteArray("C00\r"));
    QTRY_COMPARE(a.results.size(), 1);
    QVERIFY(a.results[0].outcome == Outcome::NoReply && a.results[0].elapsed >= 100ms);

    QVERIFY(projector.write("\x06\r8"));
    if (settle)
        QTest::qWait(50);
    line.submit(&b, "CR0\r", b.handler());
    QCOMPARE(projector.readAtLeast(4), QByteArray("CR0\r"));
    QVERIFY(projector.write("80\r"));
    QTRY_COMPARE(b.results.size(), 1);
    QCOMPARE(b.results[0].reply, QByteArray("80\r"));
    QCOMPARE(a.results.size(), 1);
}

void TestProjectorLine::holdBesideAnotherOwnersQueries()
{
    ProjectorSim sim({});
    QVERIFY(sim.start());
    ProjectorLine line(sim.devicePath(), kSettings);
    QVERIFY(openLine(line));
    Owner holder, asker;
    koru::line::RequestId hold = 0;
    QElapsedTimer clock;
    clock.start();
    hold = line.hold(&holder, "C09\r", 100ms, [&, keep = holder.handler()](const Result &result) {
        keep(result);
        if (holder.results.size() == 5)
            line.stop(hold);
    });
    // The asker asks again as soon as it has its answer.
    std::function<void(const Result &)> ask = [&, keep = asker.handler()](const Result &result) {
        keep(result);
        if (asker.results.size() < 6)
            line.submit(&asker, "CR0\r", ask);
    };
    line.submit(&asker, "CR0\r", ask);
    QTRY_COMPARE(holder.results.size(), 5);
    // Sent at 0, 100 ... 400 ms from the first send, the queries in between.
    QVERIFY(clock.elapsed() >= 400);
    QCOMPARE(holder.replies, QList<QByteArray>(5, kAckCr));
    QCOMPARE(asker.replies, QList<QByteArray>(6, "80\r"));
    QTest::qWait(250); // stopped: nothing more goes out
    QCOMPARE(sim.framesReceived(), 11);
}

void TestProjectorLine::hangUpEndsEveryRequestOnce()
{
    koru::sim::SimOptions options;
    options.hangUpAfterFrames = 2;
    ProjectorSim sim(options);
    QVERIFY(sim.start());
    ProjectorLine line(sim.devicePath(), kSettings);
    QVERIFY(openLine(line));
    QSignalSpy lost(&line, &ProjectorLine::lost);
    Owner a, b;
    line.hold(&a, "C09\r", 50ms, a.handler());
    for (int i = 0; i < 3; ++i) {
        line.submit(&b, "CR0\r", b.handler());
        line.submit(&a, "CR3\r", a.handler());
    }
    QTRY_COMPARE(lost.size(), 1);
    QTest::qWait(300);
    QCOMPARE(lost.size(), 1);
    // The hold's first frame was answered; then everything ended, each once.
    QCOMPARE(a.results.size() + b.results.size(), 1 + 7);
    QCOMPARE(a.results.first().outcome, Outcome::Answered);
    for (const Result &result : a.results.mid(1) + b.results)
        QVERIFY(result.outcome == Outcome::LineLost && !result.lineLostReason.isEmpty());
    QCOMPARE(line.queued(), 0);
}

void TestProjectorLine::ownerGoneTakesItsRequests()
{
    ProjectorSim sim({});
    QVERIFY(sim.start());
    ProjectorLine line(sim.devicePath(), kSettings);
    QVERIFY(openLine(line));
    QSignalSpy sent(&line, &ProjectorLine::sent);
    auto gone = std::make_unique<Owner>();
    int goneCalls = 0;
    const auto counted = [&goneCalls](const Result &) { ++goneCalls; };
    line.submit(gone.get(), "C00\r", counted);
    line.submit(gone.get(), "C02\r", counted);
    Owner stays;
    line.submit(&stays, "CR0\r", stays.handler());
    QTRY_COMPARE(sent.size(), 1);
    gone.reset(); // with its first frame on the wire and its second queued
    QCOMPARE(line.queued(), 1);
    QTRY_COMPARE(stays.results.size(), 1);
    QCOMPARE(stays.results[0].reply, QByteArray("40\r")); // after C00, not its ACK
    QTest::qWait(100);
    QCOMPARE(goneCalls, 0);
    QCOMPARE(sim.framesReceived(), 2);
}

QTEST_GUILESS_MAIN(TestProjectorLine)
#include "tst_projectorline.moc"
