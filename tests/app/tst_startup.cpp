#include "app/panelcommandline.h"
#include "app/panelprogram.h"
#include "layout/panelbuilder.h"
#include "panel/form1.h"
#include "serial/mscomm.h"
#include "support/linespeed.h"
#include "support/opening.h"
#include "support/pty.h"
#include "support/panelfixture.h"
#include "support/recordingreporter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using koru::PanelOptions;
using koru::PanelSession;
using koru::parsePanelCommandLine;
using koru::test::PtyPair;
using koru::test::RecordingReporter;

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void rememberedPortsYieldToTheCommandLine();
    void missingDeviceReportsOnceAndShowsNothing();
    void busyDeviceReportsOnceAndShowsNothing();
    void deviceGivenOnTheCommandLineOpens();
    void terminationSignalEndsThePanelAsEndDoes_data();
    void terminationSignalEndsThePanelAsEndDoes();

private:
    static int visibleWindows();
};

void TestStartUp::initTestCase()
{
    koru::layout::applyPanelLook(*qApp);
}

int TestStartUp::visibleWindows()
{
    int shown = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        shown += widget->isVisible() ? 1 : 0;
    return shown;
}

void TestStartUp::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: the panel starts
    QTest::addColumn<QString>("com1");
    QTest::addColumn<QString>("com2");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<QString>("said"); // in the output or the error text

    const QString s0 = QStringLiteral("/dev/ttyS0");
    const QString s1 = QStringLiteral("/dev/ttyS1");
    QTest::newRow("defaults") << QStringList { "koru-panel" } << -1 << s0 << s1 << false << QString();
    QTest::newRow("com1 usb") << QStringList { "koru-panel", "--com1", "/dev/ttyUSB0" } << -1 << "/dev/ttyUSB0" << s1 << false << QString();
    QTest::newRow("com2 by-id") << QStringList { "koru-panel", "--com2=/dev/serial/by-id/usb-x" } << -1 << s0 << "/dev/serial/by-id/usb-x" << false << QString();
    QTest::newRow("simulate") << QStringList { "koru-panel", "--simulate" } << -1 << s0 << s1 << true << QString();
    QTest::newRow("help") << QStringList { "koru-panel", "--help" } << 0 << s0 << s1 << false << "--com1";
    QTest::newRow("help on tcp speed") << QStringList { "koru-panel", "--help" } << 0 << s0 << s1 << false << "Over tcp:// the gateway's own line settings apply";
    QTest::newRow("version") << QStringList { "koru-panel", "--version" } << 0 << s0 << s1 << false << "1.30";
    QTest::newRow("unknown option") << QStringList { "koru-panel", "--com3", "x" } << 2 << s0 << s1 << false << "com3";
    QTest::newRow("missing value") << QStringList { "koru-panel", "--com1" } << 2 << s0 << s1 << false << "com1";
    QTest::newRow("stray argument") << QStringList { "koru-panel", "COM1" } << 2 << s0 << s1 << false << "COM1";
    QTest::newRow("network com1") << QStringList { "koru-panel", "--com1", "rfc2217://[::1]:2217" } << -1 << "rfc2217://[::1]:2217" << s1 << false << QString();
    QTest::newRow("bad address") << QStringList { "koru-panel", "--com2", "tcp://gw" } << 2 << s0 << s1 << false << "port number is missing";
    QTest::newRow("empty path") << QStringList { "koru-panel", "--com1=" } << 2 << s0 << s1 << false << "--com1 needs a device path";
    QTest::newRow("simulate and com1") << QStringList { "koru-panel", "--simulate", "--com1", "/dev/ttyUSB0" } << 2 << s0 << s1 << false << "--simulate";
    QTest::newRow("help-all is gone") << QStringList { "koru-panel", "--help-all" } << 2 << s0 << s1 << false << "help-all";
    QTest::newRow("qt options pass") << QStringList { "koru-panel", "-platform", "offscreen", "-style=fusion", "--com1", "/dev/ttyUSB0", "--reverse" } << -1 << "/dev/ttyUSB0" << s1 << false << QString();
    QTest::newRow("save-ports alone") << QStringList { "koru-panel", "--save-ports" } << 2 << s0 << s1 << false << "--com1 or --com2";
    QTest::newRow("save-ports simulated") << QStringList { "koru-panel", "--simulate", "--save-ports" } << 2 << s0 << s1 << false << "simulated";
}

void TestStartUp::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, com1);
    QFETCH(QString, com2);
    QFETCH(bool, simulate);
    QFETCH(QString, said);

    const auto parsed = parsePanelCommandLine(arguments);
    QCOMPARE(parsed.exitCode.value_or(-1), exitCode);
    if (exitCode == -1) {
        QCOMPARE(parsed.options.com1, com1);
        QCOMPARE(parsed.options.com2, com2);
        QCOMPARE(parsed.options.simulate, simulate);
    } else {
        const QString text = parsed.output + parsed.error;
        QVERIFY2(text.contains(said), qPrintable(text));
        QCOMPARE(parsed.error.isEmpty(), exitCode == 0);
    }
}

void TestStartUp::rememberedPortsYieldToTheCommandLine()
{
    const koru::PortMapping remembered { QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB1") };
    auto parsed = parsePanelCommandLine({ "koru-panel" }, remembered);
    QCOMPARE(parsed.options.com1, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(parsed.options.com2, QStringLiteral("/dev/ttyUSB1"));
    parsed = parsePanelCommandLine({ "koru-panel", "--com2", "/dev/ttyACM0" }, remembered);
    QCOMPARE(parsed.options.com1, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(parsed.options.com2, QStringLiteral("/dev/ttyACM0"));
    parsed = parsePanelCommandLine({ "koru-panel", "--com1", "/dev/ttyACM0", "--save-ports" }, remembered);
    QCOMPARE(parsed.action, koru::PanelCommandLine::Action::SavePorts);
    QCOMPARE(parsed.portsToSave.com1.value_or(QString()), QStringLiteral("/dev/ttyACM0"));
    QVERIFY(!parsed.portsToSave.com2); // COM2 stays as it is kept
}

void TestStartUp::missingDeviceReportsOnceAndShowsNothing()
{
    RecordingReporter reporter;
    PanelSession session;
    PanelOptions options;
    options.com1 = QStringLiteral("/dev/koru-test-missing");
    QVERIFY(!koru::test::startPanelAndWait(options, reporter, session));
    QCOMPARE(reporter.count(), 1);
    QCOMPARE(reporter.titles.first(), QString::fromUtf8(koru::layout::kWindowTitle));
    QVERIFY2(reporter.messages.first().contains(options.com1), qPrintable(reporter.messages.first()));
    QVERIFY(reporter.messages.first().contains(QStringLiteral("does not exist")));
    QCOMPARE(visibleWindows(), 0);
}

void TestStartUp::busyDeviceReportsOnceAndShowsNothing()
{
    PtyPair pty;
    koru::MSComm holder;
    holder.setDevicePath(1, pty.slavePath());
    QVERIFY(koru::test::openPort(holder));

    RecordingReporter reporter;
    PanelSession session;
    PanelOptions options;
    options.com1 = pty.slavePath();
    QVERIFY(!koru::test::startPanelAndWait(options, reporter, session));
    QCOMPARE(reporter.count(), 1);
    QVERIFY2(reporter.messages.first().contains(QStringLiteral("busy")), qPrintable(reporter.messages.first()));
    // The program ends after this message: no offer to choose the port again.
    QVERIFY2(reporter.messages.first().contains(QStringLiteral("start the panel again")), qPrintable(reporter.messages.first()));
    QVERIFY(!reporter.messages.first().contains(QStringLiteral("choose the port")));
    QCOMPARE(visibleWindows(), 0);
}

void TestStartUp::deviceGivenOnTheCommandLineOpens()
{
    PtyPair pty;
    RecordingReporter reporter;
    PanelSession session;
    const auto parsed = parsePanelCommandLine({ "koru-panel", "--com1", pty.slavePath() });
    QVERIFY(koru::test::startPanelAndWait(parsed.options, reporter, session));
    QCOMPARE(reporter.count(), 0);
    QVERIFY(session.form->isVisible());
    QCOMPARE(session.form->Height(), 5200.0);
    QVERIFY(session.form->MSComm1->portOpen());
    QCOMPARE(session.form->MSComm1->devicePath(1), pty.slavePath());
    QCOMPARE(koru::test::lineSpeed(pty.masterFd()), speed_t(B19200));
}

namespace {

// The serial lock files a process holds: Qt names them LCK..<device> and
// writes the owner's process id on their first line.
QStringList lockFilesOf(qint64 pid)
{
    QStringList held;
    for (const QString &directory : { QStringLiteral("/run/lock"), QStringLiteral("/var/lock"),
                                      QStringLiteral("/tmp"), QStringLiteral("/var/tmp") }) {
        const QDir dir(directory);
        for (const QString &name : dir.entryList({ QStringLiteral("LCK..*") }, QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly) && file.readLine().trimmed().toLongLong() == pid)
                held << file.fileName();
        }
    }
    return held;
}

} // namespace

void TestStartUp::terminationSignalEndsThePanelAsEndDoes_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestStartUp::terminationSignalEndsThePanelAsEndDoes()
{
    QFETCH(int, signalNumber);

    QProcess panel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    panel.setProcessEnvironment(environment);
    panel.start(QStringLiteral(KORU_PANEL_PROGRAM), { QStringLiteral("--simulate") });
    QTRY_COMPARE_WITH_TIMEOUT(panel.state(), QProcess::Running, 5000);
    // Running once it holds its port.
    const qint64 pid = panel.processId();
    QTRY_VERIFY_WITH_TIMEOUT(!lockFilesOf(pid).isEmpty(), 10000);

    QCOMPARE(::kill(pid_t(pid), signalNumber), 0);
    QTRY_COMPARE_WITH_TIMEOUT(panel.state(), QProcess::NotRunning, 10000);
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 0);
    // By owner, not by name: once the line is free, another program may take
    // the same device and its lock file.
    QCOMPARE(lockFilesOf(pid), QStringList());
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
