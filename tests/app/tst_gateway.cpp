// The panel on a projector reached through the real ser2net on loopback:
// started from the command line as a technician would, it must behave as on
// a local port, speed panel included, and take a dead gateway calmly.
#include "app/panelcommandline.h"
#include "app/panelprogram.h"
#include "layout/panelbuilder.h"
#include "layout/panelbutton.h"
#include "layout/panellabel.h"
#include "panel/form1.h"
#include "serial/mscomm.h"
#include "sim/projectorsim.h"
#include "support/idlecheck.h"
#include "support/linespeed.h"
#include "support/panelfixture.h"
#include "support/recordingreporter.h"
#include "support/ser2netgateway.h"

#include <QApplication>
#include <QFile>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

using namespace std::chrono_literals;
using koru::Form1;
using koru::PanelButton;
using koru::sim::ProjectorSim;
using koru::sim::SimOptions;
using koru::test::RecordingReporter;
using koru::test::Ser2NetGateway;

Q_DECLARE_METATYPE(Ser2NetGateway::Mode)

namespace {

constexpr int Soon = 3000;

// The line speed of the simulator's pty, as the kernel has it.
speed_t simLineSpeed(const ProjectorSim &sim)
{
    const int fd = ::open(QFile::encodeName(sim.devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const speed_t speed = koru::test::lineSpeed(fd);
    if (fd >= 0)
        ::close(fd);
    return speed;
}

// Simulator, gateway in front of it, and the panel started with
// --com1 <gateway address>.
struct GatewaySession
{
    explicit GatewaySession(Ser2NetGateway::Mode mode, const SimOptions &options = SimOptions {})
        : sim(options)
    {
        if (!sim.start() || !gateway.start(sim.devicePath(), mode))
            return;
        const koru::PanelCommandLine line = koru::parsePanelCommandLine({ "koru-panel", "--com1", gateway.address() });
        started = !line.exitCode && koru::test::startPanelAndWait(line.options, reporter, session);
    }
    ~GatewaySession() { session.form.reset(); } // the panel lets go before the gateway does

    Form1 &form() { return *session.form; }
    PanelButton *button(const char *name) { return form().findChild<PanelButton *>(QLatin1String(name)); }
    bool click(const char *name)
    {
        PanelButton *target = button(name);
        if (!target || !QTest::qWaitFor([this] { return !form().Timer2->isActive() && !form().Timer4->isActive(); }, 10000))
            return false;
        QTest::mouseClick(target, Qt::LeftButton);
        return true;
    }

    ProjectorSim sim;
    Ser2NetGateway gateway;
    RecordingReporter reporter;
    koru::PanelSession session;
    bool started = false;
};

void addModes()
{
    QTest::addColumn<Ser2NetGateway::Mode>("mode");
    QTest::newRow("tcp") << Ser2NetGateway::Mode::RawTcp;
    QTest::newRow("rfc2217") << Ser2NetGateway::Mode::Rfc2217;
}

} // namespace

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandsQueriesAndHoldsWork_data();
    void commandsQueriesAndHoldsWork();
    void speedPanelSetsTheGatewaysLine();
    void gatewayKilledMidHold_data();
    void gatewayKilledMidHold();
};

void TestGateway::initTestCase()
{
    QVERIFY2(Ser2NetGateway::isInstalled(), "ser2net is missing: scripts/packages.sh installs it");
    koru::layout::applyPanelLook(*qApp);
}

void TestGateway::commandsQueriesAndHoldsWork_data()
{
    addModes();
}

void TestGateway::commandsQueriesAndHoldsWork()
{
    QFETCH(Ser2NetGateway::Mode, mode);
    SimOptions options;
    options.projector.lampHours = 1234;
    options.projector.setting = QByteArray("10");
    GatewaySession g(mode, options);
    QVERIFY2(g.started, qPrintable(g.gateway.error() + g.reporter.messages.join(u'\n')));
    Form1 &form = g.form();
    QVERIFY(form.MSComm1->portOpen());

    QVERIFY(g.click("Command44")); // STATUS
    QTRY_COMPARE(form.Label25->text(), QStringLiteral(" Stand by"));
    QVERIFY(g.click("Command29")); // VIDEO
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));
    QVERIFY(g.click("Command45")); // MODE
    QTRY_COMPARE(form.Label25->text(), QStringLiteral(" Video"));
    QVERIFY(g.click("Command46")); // L-TIME
    QTRY_COMPARE(form.Label25->text(), QStringLiteral(" 1 2 3 4 Hour"));
    QVERIFY(g.click("Command47")); // SETTING
    QTRY_COMPARE(form.Label25->text(), QStringLiteral(" Top/Bottom reversal"));

    QSignalSpy frames(&g.sim, &ProjectorSim::frameReceived);
    QTest::mousePress(g.button("Command1"), Qt::LeftButton); // VOL +
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, Soon);
    QTest::mouseRelease(g.button("Command1"), Qt::LeftButton);
    QTest::qWait(300);
    const qsizetype afterRelease = frames.count();
    QTest::qWait(500);
    QCOMPARE(frames.count(), afterRelease);
    for (const QList<QVariant> &frame : std::as_const(frames))
        QCOMPARE(frame.first().toByteArray(), QByteArray("C09"));
    QCOMPARE(g.sim.framesRejected(), 0);
    QCOMPARE(g.reporter.count(), 0);
}

// The operator's clicks on 9600 and 19200 reach the projector's line.
void TestGateway::speedPanelSetsTheGatewaysLine()
{
    GatewaySession g(Ser2NetGateway::Mode::Rfc2217);
    QVERIFY2(g.started, qPrintable(g.gateway.error() + g.reporter.messages.join(u'\n')));
    Form1 &form = g.form();
    QCOMPARE(simLineSpeed(g.sim), speed_t(B19200));

    QTest::mouseClick(g.button("Command33"), Qt::LeftButton); // COM
    QTest::mouseClick(form.Option4, Qt::LeftButton);          // 9600
    QTRY_COMPARE(simLineSpeed(g.sim), speed_t(B9600));
    QVERIFY(!form.Frame8->isVisible());
    g.sim.setBaud(9600); // a projector set to 9600 too, or it would hear nothing
    QVERIFY(g.click("Command17"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));

    QTest::mouseClick(g.button("Command33"), Qt::LeftButton);
    QTest::mouseClick(form.Option3, Qt::LeftButton); // 19200
    QTRY_COMPARE(simLineSpeed(g.sim), speed_t(B19200));
    QVERIFY(form.MSComm1->portOpen());
    QCOMPARE(g.reporter.count(), 0);
}

void TestGateway::gatewayKilledMidHold_data()
{
    addModes();
}

// The hold ends with one warning that says the line was lost, and the panel
// then sits idle.
void TestGateway::gatewayKilledMidHold()
{
    QFETCH(Ser2NetGateway::Mode, mode);
    GatewaySession g(mode);
    QVERIFY2(g.started, qPrintable(g.gateway.error() + g.reporter.messages.join(u'\n')));
    Form1 &form = g.form();
    QSignalSpy frames(&g.sim, &ProjectorSim::frameReceived);
    PanelButton *volumeUp = g.button("Command1");

    QTest::mousePress(volumeUp, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 2, Soon);
    g.gateway.kill();

    QTRY_COMPARE_WITH_TIMEOUT(g.reporter.count(), 1, Soon);
    QVERIFY2(g.reporter.messages.first().contains(QStringLiteral("COM1 (%1) was lost").arg(g.gateway.address())),
             qPrintable(g.reporter.messages.first()));
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.RepeatNumber, quint8(0));
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    QVERIFY(!form.MSComm1->portOpen());

    KORU_VERIFY_IDLE_SECOND();
    QCOMPARE(g.reporter.count(), 1);
}

QTEST_MAIN(TestGateway)
#include "tst_gateway.moc"
