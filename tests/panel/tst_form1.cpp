#include "support/panelfixture.h"
#include "support/linespeed.h"
#include "support/opening.h"

#include <QFrame>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using koru::Form1;
using koru::MSComm;
using koru::test::PanelFixture;
using namespace std::chrono_literals;

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void startUpState();
    void centring_data();
    void centring();
    void startUpCentresForTheDesignedHeight();
    void clientAreaFollowsOuterHeight_data();
    void clientAreaFollowsOuterHeight();
    void sendWritesTheFrameAndShowsIt();
    void sendDoesNotEmptyTheReceiveBuffer();
    void replyInOneOrSeveralNotifications_data();
    void replyInOneOrSeveralNotifications();
    void missingReplyShowsXAtTheReplyWaitTick();
    void clearTickEmptiesAllThreeLines();
    void timersRunOnTheirOwnInRealTime();
    void lateReplyStartsAFreshBufferAndIsDecoded();
    void bufferShownWholeAgainAfterTheLineWasCleared();
    void queryReplyIsDecodedOnTheStatusLine();
    void otherEventCodesChangeNothing();
    void receiveBufferIsCapped();
    void failingSendWarnsOnceAndTheProgramGoesOn();
    void endClosesThePortAndStopsEverything();
    void closingThroughTheFrameReleasesThePort();
};

void TestForm1::startUpState()
{
    PanelFixture panel;
    QVERIFY(panel.loaded);
    Form1 &form = *panel.form;
    QCOMPARE(form.RepeatNumber, quint8(0));
    QCOMPARE(form.ReplyWait, quint8(0));
    QCOMPARE(form.ArrowMode, quint8(0));
    QCOMPARE(form.CommSettings, QStringLiteral("19200,N,8,1"));
    QCOMPARE(form.SendText, QString());
    QCOMPARE(form.RecvText, QString());
    QVERIFY(form.MSComm1->portOpen());
    QCOMPARE(form.MSComm1->commPort(), 1);
    QCOMPARE(form.MSComm1->settings(), QStringLiteral("19200,N,8,1"));
    QCOMPARE(koru::test::lineSpeed(panel.pty.masterFd()), speed_t(B19200));
    QVERIFY(!panel.anyTimerActive());
    QCOMPARE(form.Timer1->interval(), 200);
    QCOMPARE(form.Timer2->interval(), 500);
    QCOMPARE(form.Timer3->interval(), 5000);
    QCOMPARE(form.Timer4->interval(), 1000);
    QCOMPARE(form.Label11->text(), QString());
    QCOMPARE(form.Label12->text(), QString());
    QCOMPARE(form.Label25->text(), QString());
    QCOMPARE(form.Height(), 5200.0);
    QVERIFY(form.Option1->isChecked());
    QVERIFY(!form.Option2->isChecked());
    QVERIFY(form.Option3->isChecked());
    QVERIFY(!form.Option4->isChecked());
    QVERIFY(form.Frame8->isHidden());
    QVERIFY(form.Command34->isHidden());
    QCOMPARE(panel.reporter.count(), 0);
    QCOMPARE(panel.pty.readFor(20ms), QByteArray()); // start-up sends nothing
}

void TestForm1::centring_data()
{
    QTest::addColumn<QRectF>("screen");
    QTest::addColumn<QSizeF>("window");
    QTest::addColumn<QPointF>("position");

    QTest::newRow("height 11520") << QRectF(0, 0, 19200, 11520) << QSizeF(9585, 7200) << QPointF(4807.5, 2160);
    QTest::newRow("width difference 5865") << QRectF(0, 0, 15450, 7200) << QSizeF(9585, 7200) << QPointF(2932.5, 0);
    QTest::newRow("screen smaller than window") << QRectF(0, 0, 9000, 6000) << QSizeF(9585, 7200) << QPointF(-292.5, -600);
    // A primary screen right of and below another one.
    QTest::newRow("screen at an offset") << QRectF(28800, 2400, 15450, 11520) << QSizeF(9585, 7200) << QPointF(31732.5, 4560);
    QTest::newRow("screen left of the origin") << QRectF(-19200, -600, 19200, 11520) << QSizeF(9585, 7200) << QPointF(-14392.5, 1560);
}

void TestForm1::centring()
{
    QFETCH(QRectF, screen);
    QFETCH(QSizeF, window);
    QFETCH(QPointF, position);
    QCOMPARE(Form1::centredPosition(screen, window), position);
}

void TestForm1::startUpCentresForTheDesignedHeight()
{
    PanelFixture panel;
    const QRectF screen = Form1::screenGeometryTwips();
    QCOMPARE(panel.form->Top(), screen.y() + (screen.height() - 7200) / 2);
    QCOMPARE(panel.form->Left(), screen.x() + (screen.width() - 9585) / 2);
    QCOMPARE(panel.form->Height(), 5200.0);
}

void TestForm1::clientAreaFollowsOuterHeight_data()
{
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("clientPixels");

    QTest::newRow("compact 5200") << 5200.0 << 322;   // 4825 twips
    QTest::newRow("monitor 6645") << 6645.0 << 418;   // 6270 twips
    QTest::newRow("full 7200") << 7200.0 << 455;      // 6825 twips
    QTest::newRow("threshold 6000") << 6000.0 << 375; // 5625 twips
}

void TestForm1::clientAreaFollowsOuterHeight()
{
    QFETCH(double, height);
    QFETCH(int, clientPixels);
    PanelFixture panel;
    panel.form->setHeight(height);
    QCOMPARE(panel.form->Height(), height);
    QCOMPARE(panel.form->height(), clientPixels);
    QCOMPARE(panel.form->width(), 633); // 9495 twips
    QCOMPARE(panel.form->minimumSize(), panel.form->maximumSize()); // no resizing by dragging
}

void TestForm1::sendWritesTheFrameAndShowsIt()
{
    PanelFixture panel;
    QVERIFY(panel.send("C00"));
    QCOMPARE(panel.pty.readAvailable(), QByteArray("\x43\x30\x30\x0d"));
    Form1 &form = *panel.form;
    QCOMPARE(form.Label11->text(), QStringLiteral(" C 0 0 CR "));
    QCOMPARE(form.ReplyWait, quint8(1));
    QVERIFY(form.Timer2->isActive());
    QVERIFY(form.Timer4->isActive());
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(panel.pty.readFor(30ms), QByteArray()); // nothing else goes out
}

void TestForm1::sendDoesNotEmptyTheReceiveBuffer()
{
    PanelFixture panel;
    QVERIFY(panel.send("CR0"));
    QVERIFY(panel.pty.write("8"));
    QTRY_COMPARE(panel.form->RecvText, QStringLiteral("8"));
    QVERIFY(panel.send("CR0"));
    QCOMPARE(panel.form->RecvText, QStringLiteral("8"));
    QVERIFY(panel.pty.write("0\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" 8 0 CR "));
}

void TestForm1::replyInOneOrSeveralNotifications_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("shown"); // the RXD line after each piece

    QTest::newRow("one") << QByteArrayList { "00\r" } << QStringList { " 0 0 CR " };
    QTest::newRow("two") << QByteArrayList { "0", "0\r" } << QStringList { " 0 ", " 0 0 CR " };
    QTest::newRow("ack") << QByteArrayList { "\x06\r" } << QStringList { " ACK CR " };
    QTest::newRow("line feed") << QByteArrayList { "\n" } << QStringList { " LF  " };
    QTest::newRow("high bytes") << QByteArrayList { "\x80\xff" } << QStringList { " ? ? " };
}

void TestForm1::replyInOneOrSeveralNotifications()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, shown);
    PanelFixture panel;
    QVERIFY(panel.send("C00"));
    for (int i = 0; i < pieces.size(); ++i) {
        QVERIFY(panel.pty.write(pieces[i]));
        QTRY_COMPARE(panel.form->Label12->text(), shown[i]);
        QCOMPARE(panel.form->ReplyWait, quint8(0));
    }
}

void TestForm1::missingReplyShowsXAtTheReplyWaitTick()
{
    PanelFixture panel;
    QVERIFY(panel.send("CR0"));
    panel.form->Timer2_Timer();
    QCOMPARE(panel.form->Label12->text(), QStringLiteral(" X X X X"));
    QVERIFY(!panel.form->Timer2->isActive());
    QCOMPARE(panel.form->ReplyWait, quint8(0));
    QCOMPARE(panel.form->RecvText, QString());

    // With a reply in time, the tick only empties the buffer.
    QVERIFY(panel.send("C00"));
    QVERIFY(panel.pty.write("\x06\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" ACK CR "));
    panel.form->Timer2_Timer();
    QCOMPARE(panel.form->Label12->text(), QStringLiteral(" ACK CR "));
    QCOMPARE(panel.form->RecvText, QString());
}

void TestForm1::clearTickEmptiesAllThreeLines()
{
    PanelFixture panel;
    QVERIFY(panel.send("CR0"));
    QVERIFY(panel.pty.write("00\r"));
    QTRY_COMPARE(panel.form->Label25->text(), QStringLiteral(" Power ON"));
    panel.form->Timer4_Timer();
    QCOMPARE(panel.form->Label11->text(), QString());
    QCOMPARE(panel.form->Label12->text(), QString());
    QCOMPARE(panel.form->Label25->text(), QString());
    QVERIFY(!panel.form->Timer4->isActive());
}

void TestForm1::timersRunOnTheirOwnInRealTime()
{
    PanelFixture panel;
    QVERIFY(panel.send("C00"));
    QTRY_COMPARE_WITH_TIMEOUT(panel.form->Label12->text(), QStringLiteral(" X X X X"), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel.form->Label11->text(), QString(), 3000);
    QCOMPARE(panel.form->Label12->text(), QString());
    QVERIFY(!panel.anyTimerActive());
}

void TestForm1::lateReplyStartsAFreshBufferAndIsDecoded()
{
    PanelFixture panel;
    QVERIFY(panel.send("CR1"));
    panel.form->Timer2_Timer();
    QCOMPARE(panel.form->Label12->text(), QStringLiteral(" X X X X"));
    QVERIFY(panel.pty.write("3\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" 3 CR "));
    QCOMPARE(panel.form->Label25->text(), QStringLiteral(" Video"));
    panel.form->Timer4_Timer();
    QCOMPARE(panel.form->Label12->text(), QString());
}

void TestForm1::bufferShownWholeAgainAfterTheLineWasCleared()
{
    PanelFixture panel;
    QVERIFY(panel.send("C00"));
    panel.form->Timer2_Timer(); // " X X X X", buffer emptied
    QVERIFY(panel.pty.write("0"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" 0 "));
    panel.form->Timer4_Timer(); // the line is emptied, the buffer is not
    QCOMPARE(panel.form->Label12->text(), QString());
    QVERIFY(panel.pty.write("0\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" 0 0 CR "));
}

void TestForm1::queryReplyIsDecodedOnTheStatusLine()
{
    PanelFixture panel;
    QVERIFY(panel.send("CR3"));
    QVERIFY(panel.pty.write("0"));
    QTRY_COMPARE(panel.form->Label25->text(), QStringLiteral(" 0  Hour"));
    QVERIFY(panel.pty.write("123\r"));
    QTRY_COMPARE(panel.form->Label25->text(), QStringLiteral(" 0 1 2 3 Hour"));

    // A reply that matches no row leaves the line as it was.
    panel.form->Timer2_Timer();
    QVERIFY(panel.send("CR0"));
    QVERIFY(panel.pty.write("\x06\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" ACK CR "));
    QCOMPARE(panel.form->Label25->text(), QStringLiteral(" 0 1 2 3 Hour"));

    // Not a query: the STATUS line is never written.
    panel.form->Timer4_Timer();
    panel.form->Timer2_Timer();
    QVERIFY(panel.send("C00"));
    QVERIFY(panel.pty.write("00\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" 0 0 CR "));
    QCOMPARE(panel.form->Label25->text(), QString());
}

void TestForm1::otherEventCodesChangeNothing()
{
    PanelFixture panel;
    QVERIFY(panel.send("CR0"));
    QVERIFY(panel.pty.write("8"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" 8 "));
    QSignalSpy notified(panel.form->MSComm1, &MSComm::OnComm);

    panel.pty.hangUp(); // the component reports the lost line with its own event code
    QTRY_COMPARE(notified.count(), 1);
    QVERIFY(panel.form->MSComm1->commEvent() != MSComm::comEvReceive);
    QCOMPARE(panel.form->Label12->text(), QStringLiteral(" 8 "));
    QCOMPARE(panel.form->Label11->text(), QStringLiteral(" C R 0 CR "));
    QCOMPARE(panel.form->RecvText, QStringLiteral("8"));
    QCOMPARE(panel.reporter.count(), 0);
}

void TestForm1::receiveBufferIsCapped()
{
    PanelFixture panel;
    QVERIFY(panel.send("C00"));
    QByteArray flood;
    for (int i = 0; i < 40000; ++i)
        flood.append(char('A' + i % 26));
    flood[0] = '8';
    flood[1] = '0';
    QVERIFY(panel.pty.write(flood.left(20000)));
    QTRY_COMPARE(panel.form->RecvText.size(), qsizetype(20000));
    QVERIFY(panel.pty.write(flood.mid(20000)));
    QTRY_COMPARE_WITH_TIMEOUT(panel.form->RecvText.size(), Form1::kRecvTextCap, 10000);
    QTest::qWait(50);
    QCOMPARE(panel.form->RecvText.size(), Form1::kRecvTextCap);
    QCOMPARE(panel.form->RecvText, QString::fromLatin1(flood.left(Form1::kRecvTextCap)));
    QVERIFY(panel.form->Label12->text().startsWith(QStringLiteral(" 8 0 C D E ")));
    QCOMPARE(panel.form->Label12->text().size(), 1 + 2 * Form1::kRecvTextCap);

    // Emptied, the buffer takes what comes next.
    panel.form->Timer2_Timer();
    QVERIFY(panel.pty.write("\x06\r"));
    QTRY_COMPARE(panel.form->Label12->text(), QStringLiteral(" ACK CR "));
}

void TestForm1::failingSendWarnsOnceAndTheProgramGoesOn()
{
    PanelFixture panel;
    Form1 &form = *panel.form;
    form.MSComm1->setPortOpen(false);
    QVERIFY(!panel.send("C00"));
    QCOMPARE(panel.reporter.count(), 1);
    QCOMPARE(panel.reporter.titles.first(), form.windowTitle());
    QVERIFY2(panel.reporter.messages.first().contains(QStringLiteral("not open")),
             qPrintable(panel.reporter.messages.first()));
    // The send stopped at the write: nothing shown, no timer, no reply awaited.
    QCOMPARE(form.Label11->text(), QString());
    QCOMPARE(form.ReplyWait, quint8(0));
    QVERIFY(!panel.anyTimerActive());

    // A real click fails the same way, once, and the panel stays usable.
    QTest::mouseClick(panel.button("Command17"), Qt::LeftButton);
    QCOMPARE(panel.reporter.count(), 2);
    QVERIFY(koru::test::openPort(*form.MSComm1));
    QVERIFY(panel.send("C02"));
    QCOMPARE(panel.pty.readAtLeast(4), QByteArray("C02\r"));
}

void TestForm1::endClosesThePortAndStopsEverything()
{
    PanelFixture panel;
    Form1 &form = *panel.form;
    form.show();
    QSignalSpy ended(&form, &Form1::ended);
    QVERIFY(panel.send("CR0")); // a reply is awaited and timers run
    QCOMPARE(form.ReplyWait, quint8(1));
    panel.pty.readAvailable();

    QTest::mouseClick(panel.button("Command16"), Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!form.MSComm1->portOpen());
    QVERIFY(!panel.anyTimerActive());
    QVERIFY(!form.isVisible());
    QCOMPARE(panel.pty.readFor(20ms), QByteArray()); // END sends nothing

    // The device is free again for anyone else.
    MSComm other;
    other.setDevicePath(1, panel.pty.slavePath());
    QVERIFY(koru::test::openPort(other));
}

void TestForm1::closingThroughTheFrameReleasesThePort()
{
    PanelFixture panel;
    panel.form->show();
    QVERIFY(panel.form->close());
    QVERIFY(!panel.form->MSComm1->portOpen());
    MSComm other;
    other.setDevicePath(1, panel.pty.slavePath());
    QVERIFY(koru::test::openPort(other));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
