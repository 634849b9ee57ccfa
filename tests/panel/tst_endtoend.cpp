// The panel against the simulated projector, over a real pseudo-terminal:
// Form1 is started as the program starts it, driven through its buttons, and
// what it shows is checked against what the projector answered.
#include "support/idlecheck.h"
#include "support/panelfixture.h"

#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <iterator>
#include <utility>

using namespace std::chrono_literals;
using koru::Form1;
using koru::MSComm;
using koru::PanelButton;
using koru::sim::FaultMode;
using koru::sim::PowerState;
using koru::sim::ProjectorSim;
using koru::sim::SimOptions;

namespace {

// Generous bounds for anything that happens "soon" on a busy machine.
constexpr int Soon = 3000;
constexpr int Eventually = 10000;

SimOptions quickOptions()
{
    SimOptions options;
    options.seed = 1729;
    options.projector.countDown = 3000ms;
    options.projector.coolingDown = 3000ms;
    return options;
}

// The monitor's rendering rule, written out here on its own: one leading
// blank, then a token per character.
QString rendered(const QString &text)
{
    QString out = QStringLiteral(" ");
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == 6)
            out += QStringLiteral("ACK ");
        else if (code == 13)
            out += QStringLiteral("CR ");
        else if (code == 10)
            out += QStringLiteral("LF  ");
        else if (code >= 32 && code <= 122)
            out += c + QStringLiteral(" ");
        else
            out += QStringLiteral("? ");
    }
    return out;
}

bool needsQuestionMark(const QString &text)
{
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if ((code < 32 && code != 6 && code != 10 && code != 13) || code > 122)
            return true;
    }
    return false;
}

// A started panel whose COM1 is the simulated projector's line.
struct EndToEnd : koru::test::PanelFixture
{
    explicit EndToEnd(const SimOptions &options = quickOptions())
        : PanelFixture(options)
    {
    }
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void powerCycleShowsEachStatus();
    void queryRepliesAreDecoded_data();
    void queryRepliesAreDecoded();
    void plainCommandsAreAcknowledged_data();
    void plainCommandsAreAcknowledged();
    void holdButtonRepeatsUntilReleased();
    void silentProjectorShowsNoReply();
    void wrongSpeedShowsNoReplyUntilItMatches();
    void hangUpLeavesThePanelIdle_data();
    void hangUpLeavesThePanelIdle();
    void hangUpWhileHoldingStopsTheRepeat_data();
    void hangUpWhileHoldingStopsTheRepeat();
    void garbageIsShownTokenByToken();
    void floodIsCappedAndThePanelRecovers();
};

void TestEndToEnd::powerCycleShowsEachStatus()
{
    EndToEnd e;
    QVERIFY(e.loaded);
    Form1 &form = *e.form;

    QVERIFY(e.click("Command44")); // STATUS
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 8 0 CR "));
    QTRY_COMPARE(form.Label25->text(), QStringLiteral(" Stand by"));

    QVERIFY(e.click("Command17")); // POWER ON
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));
    QCOMPARE(form.Label25->text(), QString());
    QVERIFY(e.click("Command44"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 4 0 CR "));
    QCOMPARE(form.Label25->text(), QStringLiteral(" Count down"));

    QTRY_COMPARE_WITH_TIMEOUT(e.power(), PowerState::On, Eventually);
    QVERIFY(e.click("Command44"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 0 0 CR "));
    QCOMPARE(form.Label25->text(), QStringLiteral(" Power ON"));

    QVERIFY(e.click("Command18")); // POWER OFF
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));
    QVERIFY(e.click("Command44"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 2 0 CR "));
    QCOMPARE(form.Label25->text(), QStringLiteral(" Cooling down"));

    QTRY_COMPARE_WITH_TIMEOUT(e.power(), PowerState::Standby, Eventually);
    QVERIFY(e.click("Command44"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 8 0 CR "));
    QCOMPARE(form.Label25->text(), QStringLiteral(" Stand by"));

    // The STATUS line goes with the rest of the monitor once the clear runs.
    QTRY_COMPARE_WITH_TIMEOUT(form.Label25->text(), QString(), Soon);
    QCOMPARE(e.reporter.count(), 0);
}

void TestEndToEnd::queryRepliesAreDecoded_data()
{
    QTest::addColumn<char>("inputAtStart");
    QTest::addColumn<int>("lampHours");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("inputButton");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("lampTime");
    QTest::addColumn<QString>("settingText");

    QTest::newRow("computer, new lamp, normal")
        << '3' << 0 << QByteArray("11") << QByteArray("Command27") << QStringLiteral(" Computer")
        << QStringLiteral(" 0 0 0 0 Hour") << QStringLiteral(" Normally");
    QTest::newRow("MCI, used lamp, top/bottom")
        << '1' << 1234 << QByteArray("10") << QByteArray("Command28") << QStringLiteral(" MCI")
        << QStringLiteral(" 1 2 3 4 Hour") << QStringLiteral(" Top/Bottom reversal");
    QTest::newRow("video, worn lamp, left/right")
        << '1' << 9999 << QByteArray("01") << QByteArray("Command29") << QStringLiteral(" Video")
        << QStringLiteral(" 9 9 9 9 Hour") << QStringLiteral(" Left/Right reversal");
    QTest::newRow("video, few hours, both reversed")
        << '2' << 42 << QByteArray("00") << QByteArray("Command29") << QStringLiteral(" Video")
        << QStringLiteral(" 0 0 4 2 Hour") << QStringLiteral(" Top/Bottom , Left/Right reversal");
}

void TestEndToEnd::queryRepliesAreDecoded()
{
    QFETCH(char, inputAtStart);
    QFETCH(int, lampHours);
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, inputButton);
    QFETCH(QString, mode);
    QFETCH(QString, lampTime);
    QFETCH(QString, settingText);

    SimOptions options = quickOptions();
    options.projector.input = inputAtStart;
    options.projector.lampHours = lampHours;
    options.projector.setting = setting;
    EndToEnd e(options);
    QVERIFY(e.loaded);
    Form1 &form = *e.form;

    QVERIFY(e.click(inputButton.constData()));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));
    QVERIFY(e.click("Command45")); // MODE
    QTRY_COMPARE(form.Label25->text(), mode);
    QVERIFY(e.click("Command46")); // L-TIME
    QTRY_COMPARE(form.Label25->text(), lampTime);
    QVERIFY(e.click("Command47")); // SETTING
    QTRY_COMPARE(form.Label25->text(), settingText);
    QCOMPARE(e.reporter.count(), 0);
}

void TestEndToEnd::plainCommandsAreAcknowledged_data()
{
    QTest::addColumn<QByteArray>("buttonName");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QString>("txd");

    QTest::newRow("POWER ON") << QByteArray("Command17") << QByteArray("C00") << QStringLiteral(" C 0 0 CR ");
    QTest::newRow("POWER OFF") << QByteArray("Command18") << QByteArray("C02") << QStringLiteral(" C 0 2 CR ");
    QTest::newRow("MENU ON") << QByteArray("Command23") << QByteArray("C1C") << QStringLiteral(" C 1 C CR ");
    QTest::newRow("FREEZE OFF") << QByteArray("Command26") << QByteArray("C44") << QStringLiteral(" C 4 4 CR ");
    QTest::newRow("DISPLAY CLEAR") << QByteArray("Command3") << QByteArray("C1E") << QStringLiteral(" C 1 E CR ");
    QTest::newRow("C01 beside STATUS") << QByteArray("Command52") << QByteArray("C01") << QStringLiteral(" C 0 1 CR ");
}

void TestEndToEnd::plainCommandsAreAcknowledged()
{
    QFETCH(QByteArray, buttonName);
    QFETCH(QByteArray, code);
    QFETCH(QString, txd);

    EndToEnd e;
    QVERIFY(e.loaded);
    QSignalSpy frames(&e.sim(), &ProjectorSim::frameReceived);
    QVERIFY(e.click(buttonName.constData()));
    QCOMPARE(e.form->Label11->text(), txd);
    QTRY_COMPARE(e.form->Label12->text(), QStringLiteral(" ACK CR "));
    QCOMPARE(frames.count(), 1);
    QCOMPARE(frames.first().first().toByteArray(), code);
    QCOMPARE(e.sim().framesRejected(), 0);
    // Not a query: the STATUS line is left alone.
    QCOMPARE(e.form->Label25->text(), QString());
    QCOMPARE(e.reporter.count(), 0);
}

// While VOL + is held the projector keeps receiving C09; after the release
// nothing more is sent.
void TestEndToEnd::holdButtonRepeatsUntilReleased()
{
    EndToEnd e;
    QVERIFY(e.loaded);
    QSignalSpy frames(&e.sim(), &ProjectorSim::frameReceived);
    PanelButton *volumeUp = e.button("Command1");
    QVERIFY(volumeUp);

    QTest::mousePress(volumeUp, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, Eventually);
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    QCOMPARE(e.form->RepeatNumber, quint8(0));
    QVERIFY(!e.form->Timer1->isActive());

    QTest::qWait(300); // frames already on the line still arrive
    const qsizetype afterRelease = frames.count();
    QTest::qWait(700);
    QCOMPARE(frames.count(), afterRelease);
    for (const QList<QVariant> &frame : std::as_const(frames))
        QCOMPARE(frame.first().toByteArray(), QByteArray("C09"));
    QCOMPARE(e.sim().framesRejected(), 0);
    QCOMPARE(e.reporter.count(), 0);
}

// The projector is set to 9600 while the panel starts at 19200: it hears
// nothing it understands, as on a real line, until the operator picks 9600.
void TestEndToEnd::wrongSpeedShowsNoReplyUntilItMatches()
{
    SimOptions options = quickOptions();
    options.baud = 9600;
    EndToEnd e(options);
    QVERIFY(e.loaded);
    Form1 &form = *e.form;

    QVERIFY(e.click("Command44")); // STATUS
    QTRY_COMPARE_WITH_TIMEOUT(form.Label12->text(), QStringLiteral(" X X X X"), Soon);
    QTRY_VERIFY(e.sim().bytesMisheard() >= 4);
    QCOMPARE(e.sim().framesReceived(), 0);

    QVERIFY(e.click("Command33")); // COM
    QTest::mouseClick(form.Option4, Qt::LeftButton, Qt::NoModifier, QPoint(4, form.Option4->height() / 2)); // 9600
    QCOMPARE(form.MSComm1->settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(e.click("Command44"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 8 0 CR "));
    QCOMPARE(form.Label25->text(), QStringLiteral(" Stand by"));
    QCOMPARE(e.reporter.count(), 0);
}

void TestEndToEnd::silentProjectorShowsNoReply()
{
    SimOptions options = quickOptions();
    options.fault = FaultMode::Silent;
    EndToEnd e(options);
    QVERIFY(e.loaded);
    Form1 &form = *e.form;
    QSignalSpy frames(&e.sim(), &ProjectorSim::frameReceived);

    QVERIFY(e.click("Command44")); // STATUS
    QTRY_COMPARE_WITH_TIMEOUT(form.Label12->text(), QStringLiteral(" X X X X"), Soon);
    QCOMPARE(frames.count(), 1);
    QCOMPARE(frames.first().first().toByteArray(), QByteArray("CR0"));
    QCOMPARE(form.Label25->text(), QString());
    QCOMPARE(form.RecvText, QString());
    QCOMPARE(form.ReplyWait, quint8(0));

    // Nothing writes the STATUS line until the monitor is cleared.
    while (form.Timer4->isActive()) {
        QCOMPARE(form.Label25->text(), QString());
        QTest::qWait(20);
    }
    QCOMPARE(form.Label11->text(), QString());
    QCOMPARE(form.Label12->text(), QString());
    QCOMPARE(e.reporter.count(), 0);
}

void TestEndToEnd::hangUpLeavesThePanelIdle_data()
{
    QTest::addColumn<bool>("afterFrames"); // else the line is hung up by hand

    QTest::newRow("on the second frame") << true;
    QTest::newRow("between commands") << false;
}

// The projector's end goes away in mid-session: the panel closes its port on
// its own and sits idle, without spinning and without a warning, until the
// operator next sends.
void TestEndToEnd::hangUpLeavesThePanelIdle()
{
    QFETCH(bool, afterFrames);
    SimOptions options = quickOptions();
    if (afterFrames)
        options.hangUpAfterFrames = 2;
    EndToEnd e(options);
    QVERIFY(e.loaded);
    Form1 &form = *e.form;
    QSignalSpy hungUp(&e.sim(), &ProjectorSim::hungUp);

    QVERIFY(e.click("Command17"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));
    if (afterFrames) {
        QVERIFY(e.click("Command44"));
        QTRY_COMPARE(hungUp.count(), 1);
    } else {
        e.sim().hangUp();
        QCOMPARE(hungUp.count(), 1);
    }

    QTRY_VERIFY_WITH_TIMEOUT(!form.MSComm1->portOpen(), 1000);
    KORU_VERIFY_IDLE_SECOND();
    QCOMPARE(e.reporter.count(), 0);
    QVERIFY(!form.MSComm1->portOpen());

    const QString txdBefore = form.Label11->text();
    QTest::mouseClick(e.button("Command45"), Qt::LeftButton);
    QCOMPARE(e.reporter.count(), 1);
    // The warning says what happened to the line, not only that it is closed.
    QVERIFY2(e.reporter.messages.first().contains(QStringLiteral("was lost")),
             qPrintable(e.reporter.messages.first()));
    QCOMPARE(form.Label11->text(), txdBefore); // the failed send shows nothing
    QTest::qWait(300);
    QCOMPARE(e.reporter.count(), 1);
}

void TestEndToEnd::hangUpWhileHoldingStopsTheRepeat_data()
{
    // Whether the tick comes before the panel has had a chance to notice the
    // loss, i.e. the write itself meets the hung-up line.
    QTest::addColumn<bool>("tickAtOnce");

    QTest::newRow("loss noticed first") << false;
    QTest::newRow("tick meets the dead line") << true;
}

void TestEndToEnd::hangUpWhileHoldingStopsTheRepeat()
{
    QFETCH(bool, tickAtOnce);
    EndToEnd e;
    QVERIFY(e.loaded);
    Form1 &form = *e.form;
    QSignalSpy frames(&e.sim(), &ProjectorSim::frameReceived);
    PanelButton *volumeUp = e.button("Command1");
    QVERIFY(volumeUp);

    QTest::mousePress(volumeUp, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 1, Soon);
    QVERIFY(form.Timer1->isActive());
    e.sim().hangUp();
    if (tickAtOnce) {
        form.Timer1_Timer();
        QCOMPARE(e.reporter.count(), 1);
    }

    // The next tick cannot send: one warning, and the repetition is over.
    QTRY_COMPARE_WITH_TIMEOUT(e.reporter.count(), 1, Soon);
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.RepeatNumber, quint8(0));
    QTest::qWait(600); // several periods of the repeat
    QCOMPARE(e.reporter.count(), 1);

    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    QCOMPARE(e.reporter.count(), 1);
    QCOMPARE(form.RepeatNumber, quint8(0));
    QVERIFY(!form.Timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!form.Timer2->isActive() && !form.Timer4->isActive(), Soon);
    QVERIFY(!form.MSComm1->portOpen());

    KORU_VERIFY_IDLE_SECOND();
    QCOMPARE(e.reporter.count(), 1);
    QVERIFY(!form.Timer1->isActive());
}

// Random bytes of every kind in place of replies: each reaches the monitor as
// one character, and control characters and bytes above "z" show as "? ".
void TestEndToEnd::garbageIsShownTokenByToken()
{
    SimOptions options = quickOptions();
    options.fault = FaultMode::Garbage;
    EndToEnd e(options);
    QVERIFY(e.loaded);
    Form1 &form = *e.form;

    struct Shown
    {
        QString buffer;
        QString rxd;
    };
    QList<Shown> shown;
    // Connected after the panel's own handler, so it sees what that left.
    connect(form.MSComm1, &MSComm::OnComm, &form, [&form, &shown] {
        if (form.MSComm1->commEvent() == MSComm::comEvReceive)
            shown.append(Shown { form.RecvText, form.Label12->text() });
    });

    const char *buttons[] = { "Command44", "Command17", "Command45", "Command46",
                              "Command29", "Command47", "Command18", "Command52" };
    for (const char *name : buttons) {
        QVERIFY(e.waitForQuietMonitor());
        const qint64 sentBefore = e.sim().bytesSent();
        const qsizetype shownBefore = shown.size();
        QVERIFY(e.click(name));
        QTRY_VERIFY(e.sim().bytesSent() > sentBefore);
        // Everything the projector sent, byte for byte, is in the buffer.
        QTRY_COMPARE(shown.size() > shownBefore ? shown.last().buffer.size() : qsizetype(-1),
                     qsizetype(e.sim().bytesSent() - sentBefore));
    }

    bool sawQuestionMark = false;
    for (const Shown &s : std::as_const(shown)) {
        QCOMPARE(s.rxd, rendered(s.buffer));
        sawQuestionMark = sawQuestionMark || needsQuestionMark(s.buffer);
    }
    QVERIFY(sawQuestionMark);
    QCOMPARE(e.sim().framesReceived(), qint64(std::size(buttons)));
    QCOMPARE(e.sim().framesRejected(), 0);
    QCOMPARE(e.reporter.count(), 0);
    QVERIFY(form.MSComm1->portOpen());
}

// A projector that never stops talking while nothing is sent. A fast line
// stands in for the quarter of a minute the panel's line would need to fill
// the buffer.
void TestEndToEnd::floodIsCappedAndThePanelRecovers()
{
    SimOptions options = quickOptions();
    options.fault = FaultMode::Flood;
    options.baud = 460800;
    EndToEnd e(options);
    QVERIFY(e.loaded);
    Form1 &form = *e.form;

    QTRY_COMPARE_WITH_TIMEOUT(form.RecvText.size(), Form1::kRecvTextCap, 20000);
    QTest::qWait(1000); // the flood goes on; the buffer does not grow
    QCOMPARE(form.RecvText.size(), Form1::kRecvTextCap);
    QVERIFY(e.sim().bytesSent() > Form1::kRecvTextCap + 10000);
    QCOMPARE(form.Label12->text(), rendered(form.RecvText));
    QVERIFY(form.Label12->text().contains(QStringLiteral("? ")));
    QCOMPARE(e.reporter.count(), 0);

    // The projector falls quiet and listens at the panel's speed again; the
    // panel sends as before.
    e.sim().setFaultMode(FaultMode::None);
    e.sim().setBaud(19200);
    QTest::qWait(300); // what is still on the line drains
    QSignalSpy frames(&e.sim(), &ProjectorSim::frameReceived);
    QVERIFY(e.click("Command44"));
    QCOMPARE(form.Label11->text(), QStringLiteral(" C R 0 CR "));
    QTRY_COMPARE(frames.count(), 1);
    QCOMPARE(frames.first().first().toByteArray(), QByteArray("CR0"));
    // The reply wait after that send empties the buffer ...
    QTRY_COMPARE_WITH_TIMEOUT(form.RecvText, QString(), Soon);
    // ... and the next reply is shown and decoded on its own.
    QVERIFY(e.click("Command44"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" 8 0 CR "));
    QCOMPARE(form.Label25->text(), QStringLiteral(" Stand by"));
    QCOMPARE(e.reporter.count(), 0);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
