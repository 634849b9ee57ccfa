#include "support/panelfixture.h"

#include <QFrame>
#include <QKeyEvent>
#include <QTest>

using koru::test::PanelFixture;

namespace {

const QString kShow = QStringLiteral("データを表示する");
const QString kHide = QStringLiteral("データを表示しない");
const QString kClose = QStringLiteral("CLOSE");

// Counts the presses of the H key that reach one widget.
class KeyCounter : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_H)
            ++presses;
        return false;
    }
};

} // namespace

class TestMonitorToggle : public QObject
{
    Q_OBJECT

private slots:
    void ctrlHRevealsFromAnyFocusedControl_data();
    void ctrlHRevealsFromAnyFocusedControl();
    void otherCombinationsDoNothing_data();
    void otherCombinationsDoNothing();
    void toggleDecidesByHeight_data();
    void toggleDecidesByHeight();
    void ctrlHInTheMonitorState();
    void toggleFromTheKeyboard();
    void toggleRestartsTheHideOfThePortPanel();
};

void TestMonitorToggle::ctrlHRevealsFromAnyFocusedControl_data()
{
    QTest::addColumn<QString>("focused");
    QTest::newRow("POWER ON") << "Command17";
    QTest::newRow("VOL + (hold)") << "Command1";
    QTest::newRow("END") << "Command16";
    QTest::newRow("STATUS, out of view") << "Command44";
    QTest::newRow("C01, out of view") << "Command52";
}

void TestMonitorToggle::ctrlHRevealsFromAnyFocusedControl()
{
    QFETCH(QString, focused);
    PanelFixture panel;
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.form.get()));
    QWidget *target = panel.form->findChild<QWidget *>(focused);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    KeyCounter counter;
    target->installEventFilter(&counter);

    QTest::keyClick(target, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(panel.form->Height(), 7200.0);
    QVERIFY(panel.form->Command34->isVisible());
    QCOMPARE(panel.form->Command34->text(), kClose);
    QCOMPARE(counter.presses, 1); // the key still reaches the focused control
    QCOMPARE(panel.pty.readAvailable(), QByteArray()); // and sends nothing
}

void TestMonitorToggle::otherCombinationsDoNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Ctrl+Shift+H") << int(Qt::Key_H) << int(Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Ctrl+Alt+H") << int(Qt::Key_H) << int(Qt::ControlModifier | Qt::AltModifier);
    QTest::newRow("H alone") << int(Qt::Key_H) << int(Qt::NoModifier);
    QTest::newRow("Shift+H") << int(Qt::Key_H) << int(Qt::ShiftModifier);
    QTest::newRow("Alt+H") << int(Qt::Key_H) << int(Qt::AltModifier);
    QTest::newRow("Ctrl+G") << int(Qt::Key_G) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+J") << int(Qt::Key_J) << int(Qt::ControlModifier);
}

void TestMonitorToggle::otherCombinationsDoNothing()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    PanelFixture panel;
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.form.get()));
    QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : panel.form.get();
    QTest::keyClick(focus, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(panel.form->Height(), 5200.0);
    QVERIFY(panel.form->Command34->isHidden());
}

void TestMonitorToggle::toggleDecidesByHeight_data()
{
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("after");
    QTest::addColumn<QString>("caption");
    QTest::newRow("compact opens") << 5200.0 << 6645.0 << kHide;
    QTest::newRow("monitor closes") << 6645.0 << 5200.0 << kShow;
    QTest::newRow("full closes") << 7200.0 << 5200.0 << kShow;
    QTest::newRow("exactly 6000 closes") << 6000.0 << 5200.0 << kShow;
    QTest::newRow("just below 6000 opens") << 5999.0 << 6645.0 << kHide;
}

void TestMonitorToggle::toggleDecidesByHeight()
{
    QFETCH(double, before);
    QFETCH(double, after);
    QFETCH(QString, caption);
    PanelFixture panel;
    panel.form->show();
    panel.form->Form_KeyDown(72, 2);
    panel.form->setHeight(before);
    QTest::mouseClick(panel.form->Command34, Qt::LeftButton);
    QCOMPARE(panel.form->Height(), after);
    QCOMPARE(panel.form->Command34->text(), caption);
    QVERIFY(panel.form->Command34->isVisible() || after < 5500); // out of view at 5200, still shown
    QVERIFY(!panel.form->Command34->isHidden());
}

void TestMonitorToggle::ctrlHInTheMonitorState()
{
    PanelFixture panel;
    panel.form->show();
    panel.form->Form_KeyDown(72, 2);
    panel.form->Command34_Click(); // 7200: closes
    panel.form->Command34_Click(); // 5200: opens the monitor
    QCOMPARE(panel.form->Height(), 6645.0);
    QCOMPARE(panel.form->Command34->text(), kHide);
    panel.form->Form_KeyDown(72, 2);
    QCOMPARE(panel.form->Height(), 7200.0);
    QCOMPARE(panel.form->Command34->text(), kClose);
}

void TestMonitorToggle::toggleFromTheKeyboard()
{
    PanelFixture panel;
    panel.form->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.form.get()));
    panel.form->Form_KeyDown(72, 2);
    panel.form->Command34->setFocus();
    QTest::keyClick(panel.form->Command34, Qt::Key_Space);
    QCOMPARE(panel.form->Height(), 5200.0);
    // Out of view at the compact height, it still has the focus and works.
    QTest::keyClick(panel.form->Command34, Qt::Key_Space);
    QCOMPARE(panel.form->Height(), 6645.0);
    QCOMPARE(panel.form->Command34->text(), kHide);
}

void TestMonitorToggle::toggleRestartsTheHideOfThePortPanel()
{
    PanelFixture panel;
    panel.form->show();
    panel.form->Command33_Click();
    QTest::qWait(1000);
    QVERIFY(panel.form->Timer3->remainingTime() < 4500);
    panel.form->Form_KeyDown(72, 2);
    panel.form->Command34_Click();
    QVERIFY(panel.form->Timer3->isActive());
    QVERIFY(panel.form->Timer3->remainingTime() > 4500); // five seconds from the toggle
    QVERIFY(panel.form->Frame8->isVisible());
    panel.form->Timer3_Timer();
    QVERIFY(panel.form->Frame8->isHidden());

    // With the panel hidden, the toggle's restart only leads to a harmless tick.
    panel.form->Command34_Click();
    QVERIFY(panel.form->Timer3->isActive());
    panel.form->Timer3_Timer();
    QVERIFY(panel.form->Frame8->isHidden());
    QVERIFY(!panel.form->Timer3->isActive());
}

QTEST_MAIN(TestMonitorToggle)
#include "tst_monitortoggle.moc"
