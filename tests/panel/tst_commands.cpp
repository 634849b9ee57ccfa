#include "support/opening.h"
#include "support/panelfixture.h"

#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

using koru::Form1;
using koru::PanelButton;
using koru::test::PanelFixture;
using namespace std::chrono_literals;

namespace {

// Written out here rather than read from the catalogue, so a wrong code or
// kind in the catalogue shows up as a failure.
struct Expected
{
    const char *control;
    const char *code;
    bool hold;
};

const Expected kButtons[] = {
    { "Command17", "C00", false }, { "Command18", "C02", false }, { "Command27", "C05", false },
    { "Command28", "C06", false }, { "Command29", "C07", false }, { "Command23", "C1C", false },
    { "Command24", "C1D", false }, { "Command19", "C0B", false }, { "Command20", "C0C", false },
    { "Command21", "C0D", false }, { "Command22", "C0E", false }, { "Command25", "C43", false },
    { "Command26", "C44", false }, { "Command31", "C0F", false }, { "Command32", "C10", false },
    { "Command38", "C59", false }, { "Command39", "C5A", false }, { "Command1", "C09", true },
    { "Command2", "C0A", true },   { "Command15", "C47", true },  { "Command35", "C46", true },
    { "Command36", "C4B", true },  { "Command37", "C4A", true },  { "Command30", "C20", true },
    { "Command42", "C21", true },  { "Command48", "C30", true },  { "Command49", "C31", true },
    { "Command50", "C8E", true },  { "Command51", "C8F", true },  { "Command5", "C3C", true },
    { "Command7", "C3D", true },   { "Command9", "C3B", true },   { "Command8", "C3A", true },
    { "Command6", "C3F", true },   { "Command40", "C3E", true },  { "Command10", "C80", false },
    { "Command11", "C87", false }, { "Command13", "C89", false }, { "Command4", "C1F", false },
    { "Command3", "C1E", false },  { "Command44", "CR0", false }, { "Command45", "CR1", false },
    { "Command46", "CR3", false }, { "Command47", "CR4", false }, { "Command52", "C01", false },
};

QByteArray frame(const char *code)
{
    return QByteArray(code) + '\r';
}

void press(PanelButton *button, Qt::MouseButton mouse = Qt::LeftButton, Qt::KeyboardModifiers keys = {})
{
    QTest::mousePress(button, mouse, keys);
}

void release(PanelButton *button, Qt::MouseButton mouse = Qt::LeftButton, Qt::KeyboardModifiers keys = {})
{
    QTest::mouseRelease(button, mouse, keys);
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void eachButtonSendsExactlyItsFrame_data();
    void eachButtonSendsExactlyItsFrame();
    void oneShotButtonsSendOnceHoweverLongHeld();
    void modeButtons_data();
    void modeButtons();
    void holdPressAndRelease_data();
    void holdPressAndRelease();
    void arrowModes_data();
    void arrowModes();
    void tickResendsTheHeldCommand();
    void enablingARunningTimerRestartsIt();
    void anyMouseButtonHolds_data();
    void anyMouseButtonHolds();
    void keyboardCannotStartAHold_data();
    void keyboardCannotStartAHold();
    void holdRepeatsInRealTime();
    void failureDuringAHoldEndsIt();
    void failureAtAPressStartsNothing();
    void failedModeButtonChangesNoMode();
    void staleReplyIsShownButNotDecoded_data();
    void failedSendUnderARealBoxEndsTheHoldAsAReleaseWould_data();
    void failedSendUnderARealBoxEndsTheHoldAsAReleaseWould();
    void holdEndsWhenTheButtonLosesTheMouse_data();
    void holdEndsWhenTheButtonLosesTheMouse();
    void staleReplyIsShownButNotDecoded();

private:
    void clickAll(PanelFixture &panel, const QStringList &controls);
};

void TestCommands::clickAll(PanelFixture &panel, const QStringList &controls)
{
    for (const QString &name : controls) {
        PanelButton *button = panel.button(name.toLatin1().constData());
        QVERIFY2(button, qPrintable(name));
        if (button->holdToRepeat()) {
            press(button);
            release(button);
        } else {
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }
}

void TestCommands::eachButtonSendsExactlyItsFrame_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hold");
    for (const Expected &button : kButtons)
        QTest::newRow(button.control) << button.control << frame(button.code) << button.hold;
    QCOMPARE(std::size(kButtons), std::size_t(45));
}

void TestCommands::eachButtonSendsExactlyItsFrame()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hold);

    PanelFixture panel;
    PanelButton *button = panel.button(control.toLatin1().constData());
    QVERIFY(button);
    QCOMPARE(button->holdToRepeat(), hold);
    if (hold) {
        press(button);
        QCOMPARE(panel.pty.readAvailable(), bytes); // at the press, not after a period
        release(button);
    } else {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(panel.form->SendText, QString::fromLatin1(bytes));
    QCOMPARE(panel.pty.readFor(30ms), hold ? QByteArray() : bytes);
    QCOMPARE(panel.reporter.count(), 0);
}

void TestCommands::oneShotButtonsSendOnceHoweverLongHeld()
{
    PanelFixture panel;
    PanelButton *pagePlus = panel.button("Command38");
    QVERIFY(!pagePlus->holdToRepeat());
    press(pagePlus);
    QCOMPARE(panel.pty.readFor(600ms), QByteArray()); // nothing while held
    release(pagePlus);
    QCOMPARE(panel.pty.readFor(300ms), QByteArray("C59\r"));
    QVERIFY(!panel.form->Timer1->isActive());
}

void TestCommands::modeButtons_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<int>("timer1");
    QTest::addColumn<int>("arrowMode");

    QTest::newRow("nothing") << QStringList() << 200 << 0;
    QTest::newRow("ZOOM") << QStringList { "Command10" } << 50 << 2;
    QTest::newRow("FOCUS") << QStringList { "Command11" } << 50 << 2;
    QTest::newRow("MENU ON") << QStringList { "Command23" } << 200 << 1;
    QTest::newRow("A-IMAGE") << QStringList { "Command13" } << 200 << 1;
    QTest::newRow("ZOOM then MENU ON") << QStringList { "Command10", "Command23" } << 200 << 1;
    QTest::newRow("A-IMAGE then FOCUS") << QStringList { "Command13", "Command11" } << 50 << 2;
    QTest::newRow("MENU OFF alone") << QStringList { "Command24" } << 200 << 0;
    QTest::newRow("ZOOM then MENU OFF") << QStringList { "Command10", "Command24" } << 50 << 2;
    QTest::newRow("ZOOM then other buttons") << QStringList { "Command10", "Command17", "Command44" } << 50 << 2;
    QTest::newRow("D.Zoom release") << QStringList { "Command48" } << 5 << 3;
    QTest::newRow("D.Zoom then ZOOM") << QStringList { "Command49", "Command10" } << 50 << 2;
    QTest::newRow("ZOOM then VOL") << QStringList { "Command10", "Command1" } << 250 << 2;
    QTest::newRow("MENU ON then SELECT") << QStringList { "Command23", "Command6" } << 500 << 1;
}

void TestCommands::modeButtons()
{
    QFETCH(QStringList, clicks);
    QFETCH(int, timer1);
    QFETCH(int, arrowMode);

    PanelFixture panel;
    clickAll(panel, clicks);
    QCOMPARE(panel.form->Timer1->interval(), timer1);
    QCOMPARE(int(panel.form->ArrowMode), arrowMode);
    QVERIFY(!panel.form->Timer1->isActive()); // a mode button starts no repetition
    QCOMPARE(panel.form->RepeatNumber, quint8(0));
}

void TestCommands::holdPressAndRelease_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("repeatNumber");
    QTest::addColumn<int>("t1");
    QTest::addColumn<int>("t2");
    QTest::addColumn<int>("t4");
    QTest::addColumn<int>("timer1AfterRelease");
    QTest::addColumn<int>("arrowModeAfterRelease");

    QTest::newRow("VOL +") << "Command1" << 1 << 250 << 200 << 245 << 250 << 0;
    QTest::newRow("VOL -") << "Command2" << 2 << 250 << 200 << 245 << 250 << 0;
    QTest::newRow("Zoom +") << "Command15" << 7 << 50 << 25 << 25 << 50 << 0;
    QTest::newRow("Zoom -") << "Command35" << 8 << 50 << 25 << 25 << 50 << 0;
    QTest::newRow("Focus +") << "Command36" << 9 << 50 << 25 << 25 << 50 << 0;
    QTest::newRow("Focus -") << "Command37" << 10 << 50 << 25 << 25 << 50 << 0;
    QTest::newRow("SELECT") << "Command6" << 13 << 500 << 200 << 245 << 500 << 0;
    QTest::newRow("R-CLICK") << "Command40" << 14 << 500 << 200 << 245 << 500 << 0;
    QTest::newRow("Bright +") << "Command30" << 15 << 250 << 200 << 245 << 250 << 0;
    QTest::newRow("Bright -") << "Command42" << 16 << 250 << 200 << 245 << 250 << 0;
    QTest::newRow("D.Zoom +") << "Command48" << 17 << 250 << 200 << 245 << 5 << 3;
    QTest::newRow("D.Zoom -") << "Command49" << 18 << 250 << 200 << 245 << 5 << 3;
    QTest::newRow("Keystone +") << "Command50" << 19 << 250 << 200 << 245 << 250 << 0;
    QTest::newRow("Keystone -") << "Command51" << 20 << 250 << 200 << 245 << 250 << 0;
}

void TestCommands::holdPressAndRelease()
{
    QFETCH(QString, control);
    QFETCH(int, repeatNumber);
    QFETCH(int, t1);
    QFETCH(int, t2);
    QFETCH(int, t4);
    QFETCH(int, timer1AfterRelease);
    QFETCH(int, arrowModeAfterRelease);

    PanelFixture panel;
    Form1 &form = *panel.form;
    PanelButton *button = panel.button(control.toLatin1().constData());
    press(button);
    QCOMPARE(int(form.RepeatNumber), repeatNumber);
    QCOMPARE(form.Timer1->interval(), t1);
    QCOMPARE(form.Timer2->interval(), t2);
    QCOMPARE(form.Timer4->interval(), t4);
    QVERIFY(form.Timer1->isActive());
    QVERIFY(form.Timer2->isActive());
    QVERIFY(form.Timer4->isActive());
    QVERIFY(!form.Label11->text().isEmpty());

    QVERIFY(panel.pty.write("\x06\r"));
    QTRY_COMPARE(form.RecvText, QStringLiteral("\x06\r"));
    release(button);
    QCOMPARE(form.RepeatNumber, quint8(0));
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(!form.Timer2->isActive()); // the reply wait ends without " X X X X"
    QVERIFY(form.Timer4->isActive());
    QCOMPARE(form.Timer2->interval(), 500);
    QCOMPARE(form.Timer4->interval(), 1000);
    QCOMPARE(form.Label11->text(), QString());
    QCOMPARE(form.Label12->text(), QString());
    QCOMPARE(form.RecvText, QString());
    QCOMPARE(form.Timer1->interval(), timer1AfterRelease);
    QCOMPARE(int(form.ArrowMode), arrowModeAfterRelease);
}

void TestCommands::arrowModes_data()
{
    QTest::addColumn<QStringList>("before"); // buttons used before the arrow
    QTest::addColumn<QString>("arrow");
    QTest::addColumn<int>("timer1");
    QTest::addColumn<int>("timer2");
    QTest::addColumn<int>("timer4");

    QTest::newRow("mode 0 at start") << QStringList() << "Command5" << 200 << 500 << 1000;
    QTest::newRow("mode 0 after VOL") << QStringList { "Command1" } << "Command7" << 250 << 500 << 1000;
    QTest::newRow("mode 1 MENU ON") << QStringList { "Command23" } << "Command9" << 200 << 150 << 190;
    QTest::newRow("mode 1 A-IMAGE") << QStringList { "Command13" } << "Command8" << 200 << 150 << 190;
    QTest::newRow("mode 2 ZOOM") << QStringList { "Command10" } << "Command5" << 50 << 50 << 75;
    QTest::newRow("mode 2 FOCUS") << QStringList { "Command11" } << "Command7" << 50 << 50 << 75;
    QTest::newRow("mode 3 D.Zoom") << QStringList { "Command48" } << "Command9" << 5 << 5 << 5;
    QTest::newRow("mode 1 then VOL") << QStringList { "Command23", "Command1" } << "Command5" << 250 << 150 << 190;
    QTest::newRow("mode 3 then Zoom +") << QStringList { "Command49", "Command15" } << "Command8" << 50 << 5 << 5;
    QTest::newRow("mode 3 then ZOOM") << QStringList { "Command48", "Command10" } << "Command5" << 50 << 50 << 75;
    QTest::newRow("mode 2 then SELECT") << QStringList { "Command10", "Command6" } << "Command7" << 500 << 50 << 75;
}

void TestCommands::arrowModes()
{
    QFETCH(QStringList, before);
    QFETCH(QString, arrow);
    QFETCH(int, timer1);
    QFETCH(int, timer2);
    QFETCH(int, timer4);

    PanelFixture panel;
    clickAll(panel, before);
    Form1 &form = *panel.form;
    const int timer1Before = form.Timer1->interval();
    PanelButton *button = panel.button(arrow.toLatin1().constData());
    press(button);
    QVERIFY(form.Timer1->isActive());
    QCOMPARE(form.Timer1->interval(), timer1);
    QCOMPARE(form.Timer1->interval(), timer1Before); // an arrow never sets the period
    QCOMPARE(form.Timer2->interval(), timer2);
    QCOMPARE(form.Timer4->interval(), timer4);
    release(button);
    QCOMPARE(form.Timer1->interval(), timer1);
    QCOMPARE(form.Timer2->interval(), 500);
    QCOMPARE(form.Timer4->interval(), 1000);
}

void TestCommands::tickResendsTheHeldCommand()
{
    PanelFixture panel;
    PanelButton *up = panel.button("Command5");
    press(up);
    QCOMPARE(panel.pty.readAvailable(), QByteArray("C3C\r"));
    panel.form->Timer1_Timer();
    panel.form->Timer1_Timer();
    QCOMPARE(panel.pty.readAvailable(), QByteArray("C3C\rC3C\r"));
    QCOMPARE(panel.form->SendText, QStringLiteral("C3C\r"));
    QVERIFY(panel.form->Timer1->isActive());
    release(up);

    // A tick with nothing held sends nothing.
    panel.form->Timer1_Timer();
    QCOMPARE(panel.pty.readFor(20ms), QByteArray());
}

void TestCommands::enablingARunningTimerRestartsIt()
{
    // Mode 0: the arrow repeats every 200 ms while the reply wait is 500 ms.
    // Each transmission restarts the wait, so it always measures from the
    // latest command and cannot expire moments after one.
    PanelFixture panel;
    PanelButton *up = panel.button("Command5");
    press(up);
    QCOMPARE(panel.form->Timer2->interval(), 500);
    QTest::qWait(150);
    QVERIFY(panel.form->Timer2->remainingTime() <= 350 + 40);
    panel.form->Timer1_Timer();
    QVERIFY2(panel.form->Timer2->remainingTime() > 450,
             qPrintable(QString::number(panel.form->Timer2->remainingTime())));
    QVERIFY(panel.form->Timer4->remainingTime() > 950);
    release(up);
}

void TestCommands::anyMouseButtonHolds_data()
{
    QTest::addColumn<int>("mouse");
    QTest::addColumn<int>("keys");

    QTest::newRow("left") << int(Qt::LeftButton) << int(Qt::NoModifier);
    QTest::newRow("right") << int(Qt::RightButton) << int(Qt::NoModifier);
    QTest::newRow("middle") << int(Qt::MiddleButton) << int(Qt::NoModifier);
    QTest::newRow("left shift") << int(Qt::LeftButton) << int(Qt::ShiftModifier);
    QTest::newRow("right ctrl") << int(Qt::RightButton) << int(Qt::ControlModifier);
    QTest::newRow("middle alt") << int(Qt::MiddleButton) << int(Qt::AltModifier);
    QTest::newRow("right ctrl alt shift") << int(Qt::RightButton)
                                          << int(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
}

void TestCommands::anyMouseButtonHolds()
{
    QFETCH(int, mouse);
    QFETCH(int, keys);

    PanelFixture panel;
    PanelButton *volUp = panel.button("Command1");
    press(volUp, Qt::MouseButton(mouse), Qt::KeyboardModifiers(keys));
    QCOMPARE(panel.pty.readAvailable(), QByteArray("C09\r"));
    QCOMPARE(panel.form->RepeatNumber, quint8(1));
    QVERIFY(panel.form->Timer1->isActive());
    QVERIFY(volUp->isDown());
    release(volUp, Qt::MouseButton(mouse), Qt::KeyboardModifiers(keys));
    QCOMPARE(panel.form->RepeatNumber, quint8(0));
    QVERIFY(!panel.form->Timer1->isActive());
    QVERIFY(!volUp->isDown());
    QCOMPARE(panel.pty.readFor(30ms), QByteArray());
}

void TestCommands::keyboardCannotStartAHold_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("space") << int(Qt::Key_Space);
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter") << int(Qt::Key_Enter);
}

void TestCommands::keyboardCannotStartAHold()
{
    QFETCH(int, key);

    PanelFixture panel;
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.form.get()));
    PanelButton *select = panel.button("Command6");
    select->setFocus();
    QVERIFY(select->hasFocus());
    QTest::keyClick(select, Qt::Key(key));
    QCOMPARE(panel.pty.readFor(30ms), QByteArray());
    QVERIFY(!panel.form->Timer1->isActive());
    QCOMPARE(panel.form->RepeatNumber, quint8(0));

    // A one-shot button still clicks from the keyboard (Space).
    if (key == Qt::Key_Space) {
        PanelButton *powerOn = panel.button("Command17");
        powerOn->setFocus();
        QTest::keyClick(powerOn, Qt::Key_Space);
        QCOMPARE(panel.pty.readFor(30ms), QByteArray("C00\r"));
    }
}

void TestCommands::holdRepeatsInRealTime()
{
    // Counting repeats against the clock gives ranges only: a loaded machine
    // may delay a tick, never add one.
    PanelFixture panel;
    PanelButton *volUp = panel.button("Command1");
    press(volUp);
    const QByteArray held = panel.pty.readFor(1100ms);
    release(volUp);
    const qsizetype frames = held.count("C09\r");
    QCOMPARE(held.size(), frames * 4);
    QVERIFY2(frames >= 2 && frames <= 6, qPrintable(QString::number(frames))); // ideally 5
    QCOMPARE(panel.pty.readFor(300ms), QByteArray());
}

void TestCommands::failureDuringAHoldEndsIt()
{
    PanelFixture panel;
    Form1 &form = *panel.form;
    PanelButton *volUp = panel.button("Command1");
    press(volUp);
    QVERIFY(form.Timer1->isActive());
    form.MSComm1->setPortOpen(false); // the line goes away mid-hold

    form.Timer1_Timer();
    QCOMPARE(panel.reporter.count(), 1);
    QVERIFY(panel.reporter.messages.first().contains(QStringLiteral("not open")));
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.RepeatNumber, quint8(0));

    // No more warnings, however long the button stays down.
    QTest::qWait(600);
    form.Timer1_Timer();
    QCOMPARE(panel.reporter.count(), 1);

    release(volUp);
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(panel.reporter.count(), 1);
}

void TestCommands::failureAtAPressStartsNothing()
{
    PanelFixture panel;
    Form1 &form = *panel.form;
    form.MSComm1->setPortOpen(false);
    // While the warning is up, the timers must already be quiet.
    bool repeatingDuringWarning = true;
    panel.reporter.onWarn = [&](const QString &) {
        repeatingDuringWarning = form.Timer1->isActive() || form.RepeatNumber != 0;
    };
    PanelButton *zoomIn = panel.button("Command15");
    press(zoomIn);
    QCOMPARE(panel.reporter.count(), 1);
    QVERIFY(!repeatingDuringWarning);
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.Timer1->interval(), 200); // the intervals were not set
    QCOMPARE(form.Timer2->interval(), 500);
    QCOMPARE(form.Timer4->interval(), 1000);
    release(zoomIn);
    QCOMPARE(panel.reporter.count(), 1);
}

void TestCommands::failedModeButtonChangesNoMode()
{
    PanelFixture panel;
    panel.form->MSComm1->setPortOpen(false);
    QTest::mouseClick(panel.button("Command10"), Qt::LeftButton); // ZOOM
    QCOMPARE(panel.reporter.count(), 1);
    QCOMPARE(panel.form->Timer1->interval(), 200);
    QCOMPARE(panel.form->ArrowMode, quint8(0));
}

// What goes before the query whose reply is checked: each leaves characters
// in the receive buffer that answered something else.
enum class LeadIn { AckInBuffer, LateReply, AfterAHold, EarlierQuery };

void TestCommands::staleReplyIsShownButNotDecoded_data()
{
    QTest::addColumn<int>("leadIn");
    QTest::addColumn<QString>("query"); // the button clicked last
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("rxd");
    QTest::addColumn<QString>("status");

    QTest::newRow("POWER ON acknowledged, STATUS within the reply wait")
        << int(LeadIn::AckInBuffer) << "Command44" << QByteArray("80\r") << " ACK CR 8 0 CR " << " Stand by";
    QTest::newRow("STATUS answered 700 ms late, STATUS again")
        << int(LeadIn::LateReply) << "Command44" << QByteArray("80\r") << " 2 0 CR 8 0 CR " << " Stand by";
    QTest::newRow("last repeat answered after the release, then STATUS")
        << int(LeadIn::AfterAHold) << "Command44" << QByteArray("80\r") << " ACK CR 8 0 CR " << " Stand by";
    QTest::newRow("STATUS then MODE 0.3 s apart")
        << int(LeadIn::EarlierQuery) << "Command45" << QByteArray("3\r") << " 8 0 CR 3 CR " << " Video";
}

void TestCommands::staleReplyIsShownButNotDecoded()
{
    QFETCH(int, leadIn);
    QFETCH(QString, query);
    QFETCH(QByteArray, reply);
    QFETCH(QString, rxd);
    QFETCH(QString, status);

    PanelFixture panel;
    Form1 &form = *panel.form;
    const auto answer = [&](const QByteArray &bytes, const QString &shown) {
        QVERIFY(panel.pty.write(bytes));
        QTRY_COMPARE(form.Label12->text(), shown);
    };
    switch (LeadIn(leadIn)) {
    case LeadIn::AckInBuffer:
        QTest::mouseClick(panel.button("Command17"), Qt::LeftButton);
        answer("\x06\r", QStringLiteral(" ACK CR "));
        break;
    case LeadIn::LateReply:
        QTest::mouseClick(panel.button("Command44"), Qt::LeftButton);
        form.Timer2_Timer(); // 500 ms: no reply yet
        QCOMPARE(form.Label12->text(), QStringLiteral(" X X X X"));
        answer("20\r", QStringLiteral(" 2 0 CR "));
        QCOMPARE(form.Label25->text(), QStringLiteral(" Cooling down")); // late, but its own answer
        break;
    case LeadIn::AfterAHold:
        press(panel.button("Command1"));
        release(panel.button("Command1"));
        answer("\x06\r", QStringLiteral(" ACK CR "));
        form.Timer4_Timer(); // a second after the release
        break;
    case LeadIn::EarlierQuery:
        QTest::mouseClick(panel.button("Command44"), Qt::LeftButton);
        answer("80\r", QStringLiteral(" 8 0 CR "));
        QCOMPARE(form.Label25->text(), QStringLiteral(" Stand by"));
        break;
    }
    panel.pty.readAvailable();
    QTest::mouseClick(panel.button(query.toLatin1().constData()), Qt::LeftButton);
    QCOMPARE(panel.pty.readAvailable().size(), 4);
    answer(reply, rxd); // the technician still sees every character
    QCOMPARE(form.Label25->text(), status);
    QCOMPARE(panel.reporter.count(), 0);
}

namespace {

// Mouse events through the window, as the platform delivers them: a modal
// box in front swallows them there, and a grab sends them elsewhere.
QPoint centreInWindow(PanelFixture &panel, QWidget *button)
{
    return button->mapTo(panel.form.get(), button->rect().center());
}

void pressThroughTheWindow(PanelFixture &panel, QWidget *button)
{
    QTest::mousePress(panel.form->windowHandle(), Qt::LeftButton, {}, centreInWindow(panel, button));
}

void releaseThroughTheWindow(PanelFixture &panel, QWidget *button)
{
    QTest::mouseRelease(panel.form->windowHandle(), Qt::LeftButton, {}, centreInWindow(panel, button));
}

void expectReleasedState(PanelFixture &panel, PanelButton *button)
{
    const Form1 &form = *panel.form;
    QCOMPARE(form.RepeatNumber, quint8(0));
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(!form.Timer2->isActive());
    QCOMPARE(form.Timer2->interval(), 500);
    QCOMPARE(form.Timer4->interval(), 1000);
    QVERIFY(!button->isDown());
    QVERIFY(!button->isHolding());
}

} // namespace

void TestCommands::failedSendUnderARealBoxEndsTheHoldAsAReleaseWould_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("held");
    QTest::newRow("arrow in mode 3") << QStringList { "Command48" } << "Command5";
    QTest::newRow("Zoom +") << QStringList() << "Command15";
}

void TestCommands::failedSendUnderARealBoxEndsTheHoldAsAReleaseWould()
{
    QFETCH(QStringList, before);
    QFETCH(QString, held);

    PanelFixture panel;
    Form1 &form = *panel.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    clickAll(panel, before);
    PanelButton *button = panel.button(held.toLatin1().constData());
    pressThroughTheWindow(panel, button);
    QVERIFY(form.Timer1->isActive());
    QVERIFY(form.Timer2->interval() < 500);
    form.MSComm1->setPortOpen(false); // the line goes away mid-hold

    // The warning as the operator gets it: a real modal box, which takes the
    // mouse, so the release made while it is up never reaches the button.
    bool releasedBeforeTheBox = false;
    bool boxWasUp = false;
    panel.reporter.onWarn = [&](const QString &message) {
        releasedBeforeTheBox = form.RepeatNumber == 0 && !form.Timer1->isActive() && !form.Timer2->isActive()
            && form.Timer2->interval() == 500 && form.Timer4->interval() == 1000 && !button->isDown();
        QMessageBox box(QMessageBox::Warning, form.windowTitle(), message, QMessageBox::Ok, &form);
        QTimer::singleShot(0, &box, [&] {
            boxWasUp = box.isVisible() && QApplication::activeModalWidget() == &box;
            releaseThroughTheWindow(panel, button);
            box.accept();
        });
        box.exec();
    };
    form.Timer1_Timer(); // the next repeat finds the line gone
    QCOMPARE(panel.reporter.count(), 1);
    QVERIFY(boxWasUp);
    QVERIFY(releasedBeforeTheBox);
    expectReleasedState(panel, button);

    // Later commands keep the ordinary reply wait and monitor clear.
    QVERIFY(koru::test::openPort(*form.MSComm1));
    QTest::mouseClick(panel.button("Command17"), Qt::LeftButton);
    QCOMPARE(panel.pty.readAvailable().right(4), QByteArray("C00\r"));
    QVERIFY(form.Timer2->remainingTime() > 400);
    QVERIFY(form.Timer4->remainingTime() > 900);
    QCOMPARE(panel.reporter.count(), 1);
}

enum class MouseLoss { Deactivated, ModalBox, Popup, OtherGrab, Hidden, Disabled };

void TestCommands::holdEndsWhenTheButtonLosesTheMouse_data()
{
    QTest::addColumn<int>("loss");
    QTest::newRow("window deactivated") << int(MouseLoss::Deactivated);
    QTest::newRow("modal box in front") << int(MouseLoss::ModalBox);
    QTest::newRow("popup takes the pointer") << int(MouseLoss::Popup);
    QTest::newRow("release goes to another grabber") << int(MouseLoss::OtherGrab);
    QTest::newRow("button hidden") << int(MouseLoss::Hidden);
    QTest::newRow("button disabled") << int(MouseLoss::Disabled);
}

void TestCommands::holdEndsWhenTheButtonLosesTheMouse()
{
    QFETCH(int, loss);

    PanelFixture panel;
    Form1 &form = *panel.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    PanelButton *volUp = panel.button("Command1");
    QSignalSpy ups(volUp, &PanelButton::mouseUp);
    pressThroughTheWindow(panel, volUp);
    QCOMPARE(panel.pty.readAvailable(), QByteArray("C09\r"));
    QVERIFY(form.Timer1->isActive());

    QWidget otherWindow;
    QMessageBox box(QMessageBox::Information, QStringLiteral("other"), QStringLiteral("other"),
                    QMessageBox::Ok, &form);
    QMenu menu(&form);
    menu.addAction(QStringLiteral("item"));
    auto *grabber = new QWidget(&form);
    switch (MouseLoss(loss)) {
    case MouseLoss::Deactivated:
        otherWindow.show();
        otherWindow.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&otherWindow));
        break;
    case MouseLoss::ModalBox:
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        break;
    case MouseLoss::Popup:
        menu.popup(form.mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        break;
    case MouseLoss::OtherGrab:
        // The release goes to whoever holds the grab; the button never
        // hears of it, and the next tick finds no mouse button down.
        grabber->show();
        grabber->grabMouse();
        releaseThroughTheWindow(panel, volUp);
        grabber->releaseMouse();
        QVERIFY(volUp->isHolding());
        form.Timer1_Timer();
        break;
    case MouseLoss::Hidden:
        volUp->hide();
        break;
    case MouseLoss::Disabled:
        volUp->setEnabled(false);
        break;
    }
    expectReleasedState(panel, volUp);
    QCOMPARE(ups.count(), 1);
    QCOMPARE(form.Label11->text(), QString()); // the monitor emptied as at a release
    QVERIFY(form.Timer4->isActive());
    form.Timer1_Timer(); // a late tick sends nothing
    QCOMPARE(panel.pty.readFor(300ms), QByteArray()); // the volume stops rising

    // A release that still arrives afterwards ends nothing twice.
    box.hide();
    menu.hide();
    volUp->show();
    volUp->setEnabled(true);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    releaseThroughTheWindow(panel, volUp);
    QCOMPARE(ups.count(), 1);
    QCOMPARE(panel.reporter.count(), 0);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
