// Thousands of random operator actions against a real panel whose COM1 is the
// simulated projector, once per fault mode of the simulator: clicks, presses
// and releases with any mouse button and modifiers on every button, key
// combinations, the monitor toggle, the port panel with a COM2 that does not
// exist, speed changes and pauses that let the timers run. After every action
// the panel must be in a state the operator can live with: no repetition
// without a held button, a bounded receive buffer, a port flag that tells
// the truth about the device, and at most one warning.
//
// Environment:
//   KORU_MONKEY_SEED     replay a run (the seed is printed at the start)
//   KORU_MONKEY_SECONDS  seconds per fault mode (default 10)
//   KORU_MONKEY_REPORT   seconds between resource reports (resident memory
//                        and the lateness of a probe timer); 0 or unset: none
// Select modes as with any Qt test, e.g. `tst_monkey monkey:flood`.
#include "serial/transport.h"
#include "support/latenessprobe.h"
#include "support/panelfixture.h"
#include "support/probes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>

#include <memory>
#include <optional>

using koru::Form1;
using koru::PanelButton;
using koru::sim::FaultMode;
using koru::sim::ProjectorSim;
using koru::sim::SimOptions;
using koru::test::LatenessProbe;
using koru::test::PanelFixture;
using koru::test::residentKiB;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(FaultMode)

namespace {

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class TestMonkey : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void monkey_data();
    void monkey();

private:
    quint32 m_seed = 0;
};

// One run against one fault mode.
class Monkey
{
public:
    Monkey(quint32 seed, FaultMode fault, int hangUpAfter)
        : m_random(seed)
        , m_fault(fault)
        , m_hangUpAfter(hangUpAfter)
    {
    }

    bool setUp()
    {
        if (!m_dir.isValid())
            return fail("no temporary directory");
        // COM1 is a link to the simulator's device, as /dev/serial/by-id names
        // an adapter: after a hang-up the link goes away with the device, and
        // comes back pointing at a fresh simulator, as a replugged adapter does.
        m_com1 = m_dir.filePath(QStringLiteral("com1"));
        m_clock.start();
        if (!startSim())
            return false;
        return startPanel();
    }

    bool startSim()
    {
        SimOptions options;
        options.fault = m_fault;
        options.hangUpAfterFrames = m_hangUpAfter > 0 ? 10 + int(m_random.bounded(m_hangUpAfter)) : 0;
        options.seed = m_random.generate();
        // A fast flood fills the receive buffer to its cap within a few idle seconds.
        options.baud = m_fault == FaultMode::Flood ? 115200 : 19200;
        auto sim = std::make_unique<ProjectorSim>(options, nullptr);
        QString error;
        if (!sim->start(&error))
            return fail(QStringLiteral("simulator: ") + error);
        QFile::remove(m_com1);
        if (!QFile::link(sim->devicePath(), m_com1))
            return fail(QStringLiteral("cannot link ") + m_com1);
        if (m_sim)
            m_retiredSims.push_back(std::move(m_sim));
        m_sim = std::move(sim);
        ++m_simsStarted;
        return true;
    }

    bool startPanel()
    {
        if (m_panel)
            m_panel->restart();
        else
            m_panel = std::make_unique<PanelFixture>(m_com1);
        m_ended = false;
        QObject::connect(m_panel->form.get(), &Form1::ended, m_panel->form.get(), [this] { m_ended = true; });
        if (!m_panel->loaded)
            return fail(QStringLiteral("start-up failed: ") + m_panel->reporter.messages.value(m_panel->reporter.count() - 1));
        if (!m_panel->show())
            return fail("window not exposed");
        m_buttons = m_panel->form->findChildren<PanelButton *>();
        m_holdButtons.clear();
        for (PanelButton *button : std::as_const(m_buttons)) {
            if (button->holdToRepeat())
                m_holdButtons << button;
        }
        return true;
    }

    // One random action, then the checks. False once a check has failed.
    bool step()
    {
        ++m_actions;
        const int warningsBefore = m_panel->reporter.count();
        const quint32 dice = m_random.bounded(100u);
        if (dice < 30)
            holdAndRelease();
        else if (dice < 50)
            clickAnyButton();
        else if (dice < 58)
            pressAndReleaseAnyButton();
        else if (dice < 68)
            keyCombination();
        else if (dice < 72)
            toggleMonitor();
        else if (dice < 84)
            portPanel();
        else if (dice < 85)
            clickEnd();
        else
            pause(m_random.bounded(8u) == 0 ? int(m_random.bounded(400u)) : int(m_random.bounded(40u)));
        if (m_ended) // by the mouse, or from the keyboard with END focused
            restartAfterEnd();
        afterHangUp();
        if (!m_failure.isEmpty())
            return false;
        return check(warningsBefore, 1);
    }

    // Time spent idle: with the flood this lets the receive buffer reach its cap.
    bool idle(int ms)
    {
        const int warningsBefore = m_panel->reporter.count();
        if (!m_panel->form->MSComm1->portOpen()) {
            // Back on COM1 through the port panel first, so the line is read.
            describe(QStringLiteral("choose COM1 before idling"));
            auto *com = m_panel->form->findChild<PanelButton *>(QStringLiteral("Command33"));
            if (!m_panel->form->Frame8->isVisible())
                QTest::mouseClick(com, Qt::LeftButton, Qt::NoModifier, anywhereOn(com));
            // Marked or not, a click on COM1 runs its choice while the port is closed.
            QTest::mouseClick(m_panel->form->Option1, Qt::LeftButton, Qt::NoModifier, QPoint(4, m_panel->form->Option1->height() / 2));
        }
        pause(ms);
        return check(warningsBefore, 1);
    }

    QString failure() const { return m_failure; }
    int actions() const { return m_actions; }
    ProjectorSim &sim() { return *m_sim; }
    qint64 framesSeen() const
    {
        qint64 frames = m_sim->framesReceived();
        for (const auto &old : m_retiredSims)
            frames += old->framesReceived();
        return frames;
    }
    // Everything the panel put on the line, heard at the projector's speed or not.
    qint64 bytesAtTheProjector() const
    {
        qint64 bytes = m_sim->bytesReceived();
        for (const auto &old : m_retiredSims)
            bytes += old->bytesReceived();
        return bytes;
    }
    int warnings() const { return m_panel->reporter.count(); }
    int restarts() const { return m_restarts; }
    int simsStarted() const { return m_simsStarted; }
    qsizetype largestRecvText() const { return m_largestRecvText; }
    int hangUpsSeen() const { return m_hangUpsSeen; }
    Form1 &form() { return *m_panel->form; }

private:
    bool fail(const QString &why)
    {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("after action %1 (%2): %3").arg(m_actions).arg(m_lastAction, why);
        return false;
    }
    bool fail(const char *why) { return fail(QString::fromUtf8(why)); }

    Qt::MouseButton anyMouseButton()
    {
        static const Qt::MouseButton buttons[] = { Qt::LeftButton, Qt::RightButton, Qt::MiddleButton };
        return buttons[m_random.bounded(3u)];
    }

    Qt::KeyboardModifiers anyModifiers()
    {
        Qt::KeyboardModifiers modifiers;
        if (m_random.bounded(4u) == 0)
            modifiers |= Qt::ShiftModifier;
        if (m_random.bounded(4u) == 0)
            modifiers |= Qt::ControlModifier;
        if (m_random.bounded(6u) == 0)
            modifiers |= Qt::AltModifier;
        return modifiers;
    }

    QPoint anywhereOn(QWidget *widget)
    {
        return QPoint(int(m_random.bounded(std::max(1, widget->width()))),
                      int(m_random.bounded(std::max(1, widget->height()))));
    }

    // What the operator can reach: shown buttons, END aside (it has its own action).
    PanelButton *anyReachableButton()
    {
        for (int tries = 0; tries < 20; ++tries) {
            PanelButton *button = m_buttons[m_random.bounded(int(m_buttons.size()))];
            if (button->isVisible() && button->objectName() != u"Command16")
                return button;
        }
        return nullptr;
    }

    void describe(const QString &what) { m_lastAction = what; }

    void holdAndRelease()
    {
        PanelButton *button = m_holdButtons[m_random.bounded(int(m_holdButtons.size()))];
        const Qt::MouseButton mouse = anyMouseButton();
        const Qt::KeyboardModifiers modifiers = anyModifiers();
        // Mostly taps and short holds, now and then a long one.
        const quint32 kind = m_random.bounded(10u);
        const int holdMs = kind < 4 ? 0 : kind < 9 ? int(m_random.bounded(80u)) : int(m_random.bounded(800u));
        describe(QStringLiteral("hold %1 for %2 ms").arg(button->objectName()).arg(holdMs));
        const QPoint at = anywhereOn(button);
        QTest::mousePress(button, mouse, modifiers, at);
        if (holdMs > 0)
            QTest::qWait(holdMs);
        // The release may come with other modifiers, and the pointer may
        // have wandered off the button meanwhile.
        const QPoint releasedAt = m_random.bounded(4u) == 0 ? QPoint(-5, button->height() + 7) : at;
        QTest::mouseRelease(button, mouse, anyModifiers(), releasedAt);
        checkNoRepetition();
    }

    void clickAnyButton()
    {
        PanelButton *button = anyReachableButton();
        if (!button)
            return;
        describe(QStringLiteral("click %1").arg(button->objectName()));
        QTest::mouseClick(button, anyMouseButton(), anyModifiers(), anywhereOn(button));
        checkNoRepetition();
    }

    // Press and release with a pause between, on any button; a one-shot
    // button clicks only for the left button.
    void pressAndReleaseAnyButton()
    {
        PanelButton *button = anyReachableButton();
        if (!button)
            return;
        const Qt::MouseButton mouse = anyMouseButton();
        describe(QStringLiteral("press and release %1").arg(button->objectName()));
        QTest::mousePress(button, mouse, anyModifiers(), anywhereOn(button));
        QTest::qWait(int(m_random.bounded(60u)));
        QTest::mouseRelease(button, mouse, anyModifiers(), anywhereOn(button));
        checkNoRepetition();
    }

    void keyCombination()
    {
        static const Qt::Key keys[] = { Qt::Key_H, Qt::Key_H, Qt::Key_H, Qt::Key_Space, Qt::Key_Return,
                                        Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Escape,
                                        Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right,
                                        Qt::Key_F4, Qt::Key_A, Qt::Key_Q };
        const Qt::Key key = keys[m_random.bounded(int(std::size(keys)))];
        Qt::KeyboardModifiers modifiers = anyModifiers();
        if (key == Qt::Key_H && m_random.bounded(2u) == 0)
            modifiers = Qt::ControlModifier;
        QWidget *target = QApplication::focusWidget();
        if (!target || target->window() != m_panel->form.get())
            target = m_panel->form.get();
        describe(QStringLiteral("key %1 with modifiers %2 to %3")
                     .arg(QKeySequence(key).toString())
                     .arg(int(modifiers))
                     .arg(target->objectName()));
        QTest::keyClick(target, key, modifiers);
        checkNoRepetition();
    }

    void toggleMonitor()
    {
        if (!m_panel->form->Command34->isVisible()) {
            describe(QStringLiteral("Ctrl+H"));
            QTest::keyClick(m_panel->form.get(), Qt::Key_H, Qt::ControlModifier);
            return;
        }
        describe(QStringLiteral("toggle the monitor"));
        QTest::mouseClick(m_panel->form->Command34, Qt::LeftButton, Qt::NoModifier, anywhereOn(m_panel->form->Command34));
    }

    void portPanel()
    {
        auto *com = m_panel->form->findChild<PanelButton *>(QStringLiteral("Command33"));
        if (!m_panel->form->Frame8->isVisible()) {
            describe(QStringLiteral("COM"));
            QTest::mouseClick(com, Qt::LeftButton, Qt::NoModifier, anywhereOn(com));
            if (!m_panel->form->Frame8->isVisible())
                fail("the port panel did not show");
            return;
        }
        QRadioButton *options[] = { m_panel->form->Option1, m_panel->form->Option2, m_panel->form->Option3, m_panel->form->Option4 };
        QRadioButton *option = options[m_random.bounded(4u)];
        describe(QStringLiteral("choose %1").arg(option->text()));
        QTest::mouseClick(option, Qt::LeftButton, Qt::NoModifier, QPoint(4, option->height() / 2));
        // The projector follows the speed, as a real one set to match would;
        // the flood keeps its own fast rate so that the receive buffer fills.
        if ((option == m_panel->form->Option3 || option == m_panel->form->Option4) && m_fault != FaultMode::Flood)
            m_sim->setBaud(option == m_panel->form->Option3 ? 19200 : 9600);
    }

    void clickEnd()
    {
        auto *end = m_panel->form->findChild<PanelButton *>(QStringLiteral("Command16"));
        describe(QStringLiteral("END"));
        QTest::mouseClick(end, Qt::LeftButton, Qt::NoModifier, anywhereOn(end));
        if (!m_ended)
            fail("END did not end the program");
    }

    // END has been activated: everything stops and the port is released;
    // then a fresh start on the same line, as the operator starts the program
    // again.
    void restartAfterEnd()
    {
        if ((m_panel->form->MSComm1->transport() && m_panel->form->MSComm1->transport()->isOpen())
            || m_panel->form->MSComm1->portOpen())
            fail("END left the port open");
        if (m_panel->form->Timer1->isActive())
            fail("END left Timer1 running");
        for (QTimer *timer : { m_panel->form->Timer2, m_panel->form->Timer3, m_panel->form->Timer4 }) {
            if (timer->isActive())
                fail(QStringLiteral("END left %1 running").arg(timer->objectName()));
        }
        if (m_panel->form->isVisible())
            fail("END left the window open");
        m_panel->form.reset();
        ++m_restarts;
        if (!m_sim->isRunning()) {
            m_linkRemovedAt.reset();
            if (!startSim())
                return;
        }
        const int warningsBefore = m_panel->reporter.count();
        if (!startPanel())
            return;
        if (m_panel->reporter.count() != warningsBefore)
            fail("a fresh start warned");
    }

    void pause(int ms)
    {
        describe(QStringLiteral("pause %1 ms").arg(ms));
        QTest::qWait(ms);
    }

    // The line has hung up: the device goes away with it, and comes back a
    // little later; choosing COM1 in between fails, after that it recovers.
    void afterHangUp()
    {
        if (m_hangUpAfter == 0)
            return;
        if (m_sim->hasHungUp() && !m_linkRemovedAt) {
            ++m_hangUpsSeen;
            QFile::remove(m_com1);
            m_linkRemovedAt = m_clock.elapsed();
        } else if (m_linkRemovedAt && m_clock.elapsed() - *m_linkRemovedAt > 1500) {
            m_linkRemovedAt.reset();
            startSim();
        }
    }

    void checkNoRepetition()
    {
        if (m_panel->form->Timer1->isActive())
            fail("a repetition runs with no mouse button down");
        if (m_panel->form->RepeatNumber != 0)
            fail(QStringLiteral("RepeatNumber is %1 with no mouse button down").arg(m_panel->form->RepeatNumber));
    }

    bool check(int warningsBefore, int allowed)
    {
        if (!m_failure.isEmpty())
            return false;
        checkNoRepetition();
        const int newWarnings = m_panel->reporter.count() - warningsBefore;
        if (newWarnings > allowed)
            fail(QStringLiteral("%1 warnings for one action: %2")
                     .arg(newWarnings)
                     .arg(m_panel->reporter.messages.mid(warningsBefore).join(QStringLiteral(" | "))));
        m_largestRecvText = std::max(m_largestRecvText, m_panel->form->RecvText.size());
        if (m_panel->form->RecvText.size() > Form1::kRecvTextCap)
            fail(QStringLiteral("RecvText holds %1 characters").arg(m_panel->form->RecvText.size()));

        // The open flag against the device itself. A lost line is closed from
        // the event loop a moment after the loss was noticed; give it that.
        const koru::MSComm &comm = *m_panel->form->MSComm1;
        QElapsedTimer settle;
        settle.start();
        const auto deviceOpen = [&comm] { return comm.transport() && comm.transport()->isOpen(); };
        while (comm.portOpen() != deviceOpen() && settle.elapsed() < 2000)
            QTest::qWait(5);
        if (comm.portOpen() != deviceOpen())
            fail(QStringLiteral("portOpen() says %1, the device is %2")
                     .arg(comm.portOpen() ? "open" : "closed", deviceOpen() ? "open" : "closed"));
        const int handle = comm.transport() ? comm.transport()->nativeHandle() : -1;
        if (comm.portOpen() && ::fcntl(handle, F_GETFD) == -1)
            fail(QStringLiteral("the port counts as open but its descriptor %1 is not").arg(handle));
        return m_failure.isEmpty();
    }

    QRandomGenerator m_random;
    FaultMode m_fault;
    int m_hangUpAfter;
    QTemporaryDir m_dir;
    QString m_com1;
    std::unique_ptr<ProjectorSim> m_sim;
    std::vector<std::unique_ptr<ProjectorSim>> m_retiredSims;
    std::unique_ptr<PanelFixture> m_panel; // goes before the simulators, so its port closes before their lines
    QList<PanelButton *> m_buttons;
    QList<PanelButton *> m_holdButtons;
    QElapsedTimer m_clock;
    std::optional<qint64> m_linkRemovedAt;
    QString m_failure;
    QString m_lastAction;
    int m_actions = 0;
    bool m_ended = false;
    int m_restarts = 0;
    int m_simsStarted = 0;
    int m_hangUpsSeen = 0;
    qsizetype m_largestRecvText = 0;
};

void TestMonkey::initTestCase()
{
    koru::layout::applyPanelLook(*qApp);
    bool given = false;
    m_seed = quint32(qEnvironmentVariableIntValue("KORU_MONKEY_SEED", &given));
    if (!given)
        m_seed = QRandomGenerator::global()->generate();
    qInfo("monkey seed %u (replay with KORU_MONKEY_SEED=%u)", m_seed, m_seed);
}

void TestMonkey::monkey_data()
{
    QTest::addColumn<FaultMode>("fault");
    QTest::addColumn<int>("hangUpAfter"); // at most this many frames before the line hangs up; 0 never

    QTest::newRow("none") << FaultMode::None << 0;
    QTest::newRow("silent") << FaultMode::Silent << 0;
    QTest::newRow("garbage") << FaultMode::Garbage << 0;
    QTest::newRow("flood") << FaultMode::Flood << 0;
    // Early enough that even a sanitizer build, several times slower, sees it.
    QTest::newRow("hangup") << FaultMode::None << 20;
}

void TestMonkey::monkey()
{
    QFETCH(FaultMode, fault);
    QFETCH(int, hangUpAfter);

    // Each mode has a seed of its own, so one mode replays alone.
    const quint32 seed = m_seed ^ qHash(QByteArray(QTest::currentDataTag()));
    const int seconds = envInt("KORU_MONKEY_SECONDS", 10);
    const int reportEvery = envInt("KORU_MONKEY_REPORT", 0);

    Monkey monkey(seed, fault, hangUpAfter);
    QVERIFY2(monkey.setUp(), qPrintable(monkey.failure()));
    LatenessProbe probe(100ms, this); // outlives every panel the run starts
    probe.start();

    QElapsedTimer clock;
    clock.start();
    qint64 nextReport = reportEvery * 1000;
    // Once per mode the operator walks away for a while: with the flood the
    // receive buffer then fills to its cap, with the others the timers run out.
    const qint64 idleAt = seconds * 1000 / 2;
    const int idleMs = fault == FaultMode::Flood ? 3500 : 1200;
    bool idled = false;
    while (clock.elapsed() < seconds * 1000) {
        QVERIFY2(monkey.step(), qPrintable(monkey.failure()));
        if (!idled && clock.elapsed() > idleAt) {
            idled = true;
            QVERIFY2(monkey.idle(idleMs), qPrintable(monkey.failure()));
        }
        if (reportEvery > 0 && clock.elapsed() >= nextReport) {
            nextReport += reportEvery * 1000;
            qInfo("[report] t=%llds rss=%lldkB worst-lateness=%.1fms actions=%d warnings=%d",
                  clock.elapsed() / 1000, static_cast<long long>(residentKiB()), probe.takeWorstMs(), monkey.actions(),
                  monkey.warnings());
        }
    }

    qInfo("%s: %d actions, %lld frames at the projector, %d warnings, %d restarts, %d hang-ups, "
          "%d simulators, largest receive buffer %lld",
          QTest::currentDataTag(), monkey.actions(), monkey.framesSeen(), monkey.warnings(),
          monkey.restarts(), monkey.hangUpsSeen(), monkey.simsStarted(),
          qlonglong(monkey.largestRecvText()));
    // The run must have exercised the panel, not idled beside it.
    QVERIFY2(monkey.actions() >= 8 * seconds, "too few actions");
    QVERIFY(monkey.bytesAtTheProjector() > 0);
    // The flooding projector runs faster than any speed the panel offers, so
    // it hears no frames; every other one hears some.
    if (fault != FaultMode::Flood)
        QVERIFY(monkey.framesSeen() > 0);
    if (fault == FaultMode::Flood)
        QCOMPARE(monkey.largestRecvText(), Form1::kRecvTextCap);
    if (hangUpAfter > 0)
        QVERIFY(monkey.hangUpsSeen() > 0);
}

QTEST_MAIN(TestMonkey)
#include "tst_monkey.moc"
