#include "support/panelfixture.h"
#include "support/linespeed.h"
#include "support/opening.h"
#include "support/silentgateway.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using koru::Form1;
using koru::test::lineSpeed;
using koru::test::PanelFixture;
using koru::test::PtyPair;
using namespace std::chrono_literals;

namespace {

// The panel shown, with COM2 present as a second pseudo-terminal.
void openWithSecondPort(PanelFixture &panel, const PtyPair &com2)
{
    panel.form->MSComm1->setDevicePath(2, com2.slavePath());
    panel.form->show();
}

void showPanel(PanelFixture &panel)
{
    QTest::mouseClick(panel.button("Command33"), Qt::LeftButton);
}

} // namespace

class TestPortPanel : public QObject
{
    Q_OBJECT

private slots:
    void comButtonShowsThePanelAndStartsTheHide();
    void panelHidesItselfAfterFiveSeconds();
    void secondPortPresent();
    void secondPortAbsent();
    void busySecondPortInvitesAnotherChoice();
    void silentGatewayKeepsThePanelWaitingThenFails();
    void choosingAgainAfterAFailureOpensThePort();
    void lostPortComesBackWhenChosenAgain();
    void successfulChoiceLeavesTheHideTimerRunning();
    void speedChoice_data();
    void speedChoice();
    void speedChoiceOnAClosedPortAppliesAtTheNextOpen();
    void groupsAreIndependent();
};

void TestPortPanel::comButtonShowsThePanelAndStartsTheHide()
{
    PanelFixture panel;
    panel.form->show();
    QVERIFY(panel.form->Frame8->isHidden());
    showPanel(panel);
    QVERIFY(panel.form->Frame8->isVisible());
    QVERIFY(panel.form->Timer3->isActive());
    QCOMPARE(panel.form->Timer3->interval(), 5000);
    // The panel lies over the COM button and takes its clicks.
    QPushButton *com = panel.button("Command33");
    const QPoint middle = com->mapTo(panel.form.get(), com->rect().center());
    QWidget *hit = panel.form->childAt(middle);
    QVERIFY(hit == panel.form->Frame8 || panel.form->Frame8->isAncestorOf(hit));

    panel.form->Timer3_Timer();
    QVERIFY(panel.form->Frame8->isHidden());
    QVERIFY(!panel.form->Timer3->isActive());
    QCOMPARE(panel.form->childAt(middle), static_cast<QWidget *>(com));
}

void TestPortPanel::panelHidesItselfAfterFiveSeconds()
{
    PanelFixture panel;
    panel.form->show();
    // The timer's own tick hides it; the test only notes the moments.
    QElapsedTimer clock;
    qint64 hiddenAt = -1;
    connect(panel.form->Timer3, &QTimer::timeout, panel.form.get(), [&] {
        if (panel.form->Frame8->isHidden())
            hiddenAt = clock.elapsed();
    });
    bool visibleAt4900 = false;
    QTimer look(panel.form.get());
    look.setTimerType(Qt::PreciseTimer);
    look.setSingleShot(true);
    connect(&look, &QTimer::timeout, panel.form.get(), [&] { visibleAt4900 = panel.form->Frame8->isVisible(); });
    showPanel(panel);
    clock.start();
    look.start(4900ms);
    QTRY_VERIFY_WITH_TIMEOUT(hiddenAt >= 0, 6000);
    QVERIFY(visibleAt4900);
    QVERIFY2(hiddenAt >= 4995 && hiddenAt <= 5200, qPrintable(QString::number(hiddenAt)));
    QVERIFY(!panel.form->Timer3->isActive());
}

void TestPortPanel::secondPortPresent()
{
    PanelFixture panel;
    PtyPair com2;
    openWithSecondPort(panel, com2);
    showPanel(panel);

    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(panel.form->Option2->isChecked());
    QCOMPARE(panel.reporter.count(), 0);
    QCOMPARE(panel.form->MSComm1->commPort(), 2);
    QVERIFY(panel.form->MSComm1->portOpen());
    QVERIFY(panel.form->Frame8->isHidden());
    QVERIFY(panel.send("C00"));
    QCOMPARE(com2.readAtLeast(4), QByteArray("C00\r"));
    QCOMPARE(panel.pty.readFor(20ms), QByteArray());
    QCOMPARE(lineSpeed(com2.masterFd()), speed_t(B19200));

    // COM1 is free again for others.
    koru::MSComm other;
    other.setDevicePath(1, panel.pty.slavePath());
    QVERIFY(koru::test::openPort(other));
}

void TestPortPanel::secondPortAbsent()
{
    PanelFixture panel;
    panel.form->show();
    showPanel(panel);
    bool portOpenDuringWarning = true;
    panel.reporter.onWarn = [&](const QString &) { portOpenDuringWarning = panel.form->MSComm1->portOpen(); };

    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(panel.reporter.count(), 1);
    QCOMPARE(panel.reporter.titles.first(), panel.form->windowTitle());
    QVERIFY2(panel.reporter.messages.first().contains(panel.secondPath), qPrintable(panel.reporter.messages.first()));
    QVERIFY(panel.reporter.messages.first().contains(QStringLiteral("COM2")));
    QVERIFY(!portOpenDuringWarning);
    QCOMPARE(panel.form->MSComm1->commPort(), 1);
    QVERIFY(!panel.form->MSComm1->portOpen());
    QVERIFY(panel.form->Frame8->isVisible());
    QVERIFY(panel.form->Option2->isChecked());
    QVERIFY(!panel.form->Option1->isChecked());

    // Sends now fail, each with one warning.
    QTest::mouseClick(panel.button("Command17"), Qt::LeftButton);
    QCOMPARE(panel.reporter.count(), 2);
    QVERIFY(panel.reporter.messages.last().contains(QStringLiteral("not open")));
}

// Unlike at start-up, the program goes on: the operator may choose again.
void TestPortPanel::busySecondPortInvitesAnotherChoice()
{
    PanelFixture panel;
    PtyPair com2;
    koru::MSComm holder;
    holder.setDevicePath(1, com2.slavePath());
    QVERIFY(koru::test::openPort(holder));
    openWithSecondPort(panel, com2);
    showPanel(panel);

    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(panel.reporter.count(), 1);
    const QString message = panel.reporter.messages.first();
    QVERIFY2(message.contains(QStringLiteral("busy")) && message.contains(QStringLiteral("choose the port again")),
             qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("start the panel again")));
}

// A gateway that takes the connection and never says a word: the panel waits
// for it without freezing, takes no clicks meanwhile, and then warns.
void TestPortPanel::silentGatewayKeepsThePanelWaitingThenFails()
{
    koru::test::SilentGateway silent;
    QVERIFY(silent.port() != 0);
    PanelFixture panel;
    panel.form->MSComm1->setDevicePath(2, QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.port()));
    panel.form->show();
    showPanel(panel);

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
    QTest::mouseClick(panel.button("Command17"), Qt::LeftButton); // the panel is busy
    QCOMPARE(panel.reporter.count(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(panel.reporter.count(), 1, 5000);
    QVERIFY2(clock.elapsed() >= 2900, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(panel.reporter.messages.first().contains(QStringLiteral("does not speak RFC 2217: no answer")),
             qPrintable(panel.reporter.messages.first()));
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(panel.form->MSComm1->commPort(), 1);
    QVERIFY(!panel.form->MSComm1->portOpen());
    QVERIFY(panel.form->Frame8->isVisible());
    QCOMPARE(panel.pty.readFor(20ms), QByteArray()); // the click sent nothing
}

void TestPortPanel::choosingAgainAfterAFailureOpensThePort()
{
    PanelFixture panel;
    panel.form->show();
    showPanel(panel);
    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(panel.reporter.count(), 1);

    QTest::mouseClick(panel.form->Option1, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(panel.reporter.count(), 1); // no box
    QCOMPARE(panel.form->MSComm1->commPort(), 1);
    QVERIFY(panel.form->MSComm1->portOpen()); // back on COM1, not stuck closed
    QVERIFY(panel.form->Frame8->isHidden());
    QTest::mouseClick(panel.button("Command44"), Qt::LeftButton);
    QCOMPARE(panel.pty.readAtLeast(4), QByteArray("CR0\r"));
    QCOMPARE(panel.reporter.count(), 1);
}

void TestPortPanel::lostPortComesBackWhenChosenAgain()
{
    // COM1 is a stable alias (as /dev/serial/by-id/... is) of a USB adapter
    // that gets pulled and plugged in again as a new device.
    QTemporaryDir dir;
    const QString alias = dir.filePath(QStringLiteral("projector"));
    auto adapter = std::make_unique<PtyPair>();
    QVERIFY(QFile::link(adapter->slavePath(), alias));

    PanelFixture panel;
    panel.form->MSComm1->setDevicePath(1, alias);
    panel.form->MSComm1->setPortOpen(false);
    QVERIFY(koru::test::openPort(*panel.form->MSComm1));
    panel.form->show();

    adapter->hangUp();
    QTRY_VERIFY(!panel.form->MSComm1->portOpen());
    QTest::mouseClick(panel.button("Command17"), Qt::LeftButton);
    QCOMPARE(panel.reporter.count(), 1); // the operator learns the port is gone

    // Chosen while the adapter is still out: one warning, nothing opens.
    QVERIFY(QFile::remove(alias));
    showPanel(panel);
    QVERIFY(panel.form->Option1->isChecked());
    QTest::mouseClick(panel.form->Option1, Qt::LeftButton, {}, QPoint(5, 5)); // the port already marked
    QCOMPARE(panel.reporter.count(), 2);
    QVERIFY(panel.reporter.messages.last().contains(QStringLiteral("does not exist")));
    QVERIFY(!panel.form->MSComm1->portOpen());
    QVERIFY(panel.form->Frame8->isVisible());

    PtyPair replugged;
    QVERIFY(QFile::link(replugged.slavePath(), alias));
    QTest::mouseClick(panel.form->Option1, Qt::LeftButton, {}, QPoint(5, 5)); // again, once it is back
    QVERIFY(panel.form->MSComm1->portOpen());
    QCOMPARE(panel.form->MSComm1->commPort(), 1);
    QVERIFY(panel.form->Frame8->isHidden());
    QCOMPARE(panel.reporter.count(), 2);
    QTest::mouseClick(panel.button("Command17"), Qt::LeftButton);
    QCOMPARE(replugged.readAtLeast(4), QByteArray("C00\r"));
}

void TestPortPanel::successfulChoiceLeavesTheHideTimerRunning()
{
    PanelFixture panel;
    PtyPair com2;
    openWithSecondPort(panel, com2);
    showPanel(panel);
    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(panel.form->Frame8->isHidden());
    QVERIFY(panel.form->Timer3->isActive());
    panel.form->Timer3_Timer();
    QVERIFY(panel.form->Frame8->isHidden());
    QVERIFY(!panel.form->Timer3->isActive());
    QVERIFY(panel.form->MSComm1->portOpen());
}

void TestPortPanel::speedChoice_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("speed");

    QTest::newRow("9600") << "Option4" << "9600,N,8,1" << int(B9600);
    QTest::newRow("back to 19200") << "Option3" << "19200,N,8,1" << int(B19200);
}

void TestPortPanel::speedChoice()
{
    QFETCH(QString, option);
    QFETCH(QString, settings);
    QFETCH(int, speed);

    PanelFixture panel;
    panel.form->show();
    if (option == QLatin1String("Option3")) { // start from 9600 to see a change
        showPanel(panel);
        QTest::mouseClick(panel.form->Option4, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(lineSpeed(panel.pty.masterFd()), speed_t(B9600));
    }
    showPanel(panel);
    auto *chosen = panel.form->findChild<QRadioButton *>(option);
    QTest::mouseClick(chosen, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(panel.form->CommSettings, settings);
    QCOMPARE(panel.form->MSComm1->settings(), settings);
    QVERIFY(panel.form->MSComm1->portOpen()); // neither closed nor reopened
    QCOMPARE(int(lineSpeed(panel.pty.masterFd())), speed);
    QVERIFY(panel.form->Frame8->isHidden());
    QCOMPARE(panel.reporter.count(), 0);
    QVERIFY(panel.send("C1C"));
    QCOMPARE(panel.pty.readAtLeast(4), QByteArray("C1C\r"));
}

void TestPortPanel::speedChoiceOnAClosedPortAppliesAtTheNextOpen()
{
    PanelFixture panel;
    panel.form->show();
    showPanel(panel);
    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5)); // COM2 absent: closed
    QVERIFY(!panel.form->MSComm1->portOpen());
    QTest::mouseClick(panel.form->Option4, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(panel.form->MSComm1->settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(!panel.form->MSComm1->portOpen());
    showPanel(panel);
    QTest::mouseClick(panel.form->Option1, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(panel.form->MSComm1->portOpen());
    QCOMPARE(lineSpeed(panel.pty.masterFd()), speed_t(B9600));
}

void TestPortPanel::groupsAreIndependent()
{
    PanelFixture panel;
    PtyPair com2;
    openWithSecondPort(panel, com2);
    showPanel(panel);
    QTest::mouseClick(panel.form->Option4, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(panel.form->Option1->isChecked());
    QVERIFY(panel.form->Option4->isChecked());
    showPanel(panel);
    QTest::mouseClick(panel.form->Option2, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(panel.form->Option2->isChecked());
    QVERIFY(panel.form->Option4->isChecked());
    QVERIFY(!panel.form->Option3->isChecked());
    QCOMPARE(lineSpeed(com2.masterFd()), speed_t(B9600)); // the new port opens at the chosen speed
}

QTEST_MAIN(TestPortPanel)
#include "tst_portpanel.moc"
