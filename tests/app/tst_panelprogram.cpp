#include "serial/portlisting.h"
#include "support/pty.h"
#include "support/unprivileged.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using koru::test::PtyPair;
using koru::test::canRunUnprivileged;
using koru::test::restrictNode;
using koru::test::unprivileged;

// koru-panel as a terminal user meets it: the built program, run as a
// process, with its configuration folder in a temporary directory.
class TestPanelProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void exitsAtOnce_data();
    void exitsAtOnce();
    void listPortsShowsWhatTheSystemKnows();
    void savedPortsAreUsedAndTheCommandLineWins();
    void startUpFailureReachesStandardError_data();
    void startUpFailureReachesStandardError();
    void qtOptionsAreLetThrough();

private:
    void start(QProcess &process, const QStringList &arguments, bool asNobody = false);
    bool finish(QProcess &process);
    void stop(QProcess &process);
    static bool holds(const QProcess &process, const QString &device);
    QString stderrOnceItSays(QProcess &process, const QString &text);
    void writeConfig(const QByteArray &contents);

    std::unique_ptr<QTemporaryDir> m_config;
};

void TestPanelProgram::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
}

void TestPanelProgram::start(QProcess &process, const QStringList &arguments, bool asNobody)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    if (asNobody)
        process.start(QStringLiteral("setpriv"), unprivileged(QStringLiteral(KORU_PANEL_PATH), arguments));
    else
        process.start(QStringLiteral(KORU_PANEL_PATH), arguments);
}

bool TestPanelProgram::finish(QProcess &process)
{
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < 10000)
        QTest::qWait(10);
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
}

void TestPanelProgram::stop(QProcess &process)
{
    process.kill();
    finish(process);
}

// Whether the process has the device open, as the kernel sees it.
bool TestPanelProgram::holds(const QProcess &process, const QString &device)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(process.processId()));
    const QFileInfoList entries = fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(entries.begin(), entries.end(),
                       [&device](const QFileInfo &fd) { return fd.symLinkTarget() == device; });
}

// The start-up box waits for an operator; what reached standard error before
// it is what a launcher's log would hold.
QString TestPanelProgram::stderrOnceItSays(QProcess &process, const QString &text)
{
    QString seen;
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(text) && clock.elapsed() < 10000 && process.state() != QProcess::NotRunning) {
        QTest::qWait(10);
        seen += QString::fromLocal8Bit(process.readAllStandardError());
    }
    return seen;
}

void TestPanelProgram::writeConfig(const QByteArray &contents)
{
    QVERIFY(QDir(m_config->path()).mkpath(QStringLiteral("koru")));
    QFile file(m_config->filePath(QStringLiteral("koru/panel.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

void TestPanelProgram::exitsAtOnce_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says"); // on standard output for 0, standard error otherwise
    QTest::addColumn<QString>("neverSays");

    QTest::newRow("help") << QStringList { "--help" } << 0 << "Usage: koru-panel [options]" << "<executable_name>";
    QTest::newRow("help offers no help-all") << QStringList { "--help" } << 0 << "--list-ports" << "--help-all";
    QTest::newRow("help-all") << QStringList { "--help-all" } << 2 << "Unknown option 'help-all'" << "Usage";
    QTest::newRow("version after qt options") << QStringList { "-platform", "offscreen", "-style", "fusion", "--version" } << 0 << "koru-panel 1.30" << "Unknown";
    QTest::newRow("empty com1") << QStringList { "--com1=" } << 2 << "--com1 needs a device path" << "must not be empty";
    QTest::newRow("empty com1 points to help") << QStringList { "--com1=" } << 2 << "Try 'koru-panel --help'" << "must not be empty";
    QTest::newRow("simulate with com1") << QStringList { "--simulate", "--com1", "/dev/ttyUSB0" } << 2 << "cannot be used with --com1" << "Usage";
}

void TestPanelProgram::exitsAtOnce()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, says);
    QFETCH(QString, neverSays);

    QProcess process;
    start(process, arguments);
    QVERIFY(finish(process));
    QCOMPARE(process.exitCode(), status);
    const QString text = QString::fromLocal8Bit(status == 0 ? process.readAllStandardOutput() : process.readAllStandardError());
    QVERIFY2(text.contains(says), qPrintable(text));
    QVERIFY2(!text.contains(neverSays), qPrintable(text));
}

void TestPanelProgram::listPortsShowsWhatTheSystemKnows()
{
    QProcess process;
    start(process, { QStringLiteral("--list-ports") });
    QVERIFY(finish(process));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()),
             koru::formatSerialPortListing(koru::presentSerialPorts()));
}

void TestPanelProgram::savedPortsAreUsedAndTheCommandLineWins()
{
    PtyPair pty;
    QProcess save;
    start(save, { QStringLiteral("--com1"), pty.slavePath(), QStringLiteral("--save-ports") });
    QVERIFY(finish(save));
    QCOMPARE(save.exitCode(), 0);
    const QString file = m_config->filePath(QStringLiteral("koru/panel.conf"));
    QVERIFY2(QString::fromLocal8Bit(save.readAllStandardOutput()).contains(file), qPrintable(file));

    // Started from a launcher, without options: COM1 is the saved device,
    // which the running panel now holds.
    QProcess panel;
    start(panel, {});
    QTRY_VERIFY_WITH_TIMEOUT(holds(panel, pty.slavePath()) || panel.state() == QProcess::NotRunning, 10000);
    QVERIFY2(holds(panel, pty.slavePath()), panel.readAllStandardError().constData());
    stop(panel);

    // A device on the command line wins over the saved one.
    QProcess overridden;
    start(overridden, { QStringLiteral("--com1"), QStringLiteral("/dev/koru-test-override") });
    const QString said = stderrOnceItSays(overridden, QStringLiteral("does not exist"));
    stop(overridden);
    QVERIFY2(said.contains(QStringLiteral("COM1 (/dev/koru-test-override)")), qPrintable(said));
    QVERIFY2(said.contains(file), qPrintable(said)); // where a device can be kept
}

void TestPanelProgram::startUpFailureReachesStandardError_data()
{
    QTest::addColumn<QStringList>("arguments"); // PTY stands for a pseudo-terminal
    QTest::addColumn<QString>("access");        // its owner and mode; the panel then runs as nobody
    QTest::addColumn<QString>("says");

    QTest::newRow("missing") << QStringList { "--com1", "/dev/koru-test-missing" } << "" << "/dev/koru-test-missing) cannot be opened: the device does not exist";
    QTest::newRow("regular file") << QStringList { "--com1", "/etc/hostname" } << "" << "/etc/hostname is not a serial device";
    QTest::newRow("null device") << QStringList { "--com1", "/dev/null" } << "" << "/dev/null is not a serial device";
    QTest::newRow("group may open") << QStringList { "--com1", "PTY" } << "0660 dialout" << "sudo usermod -aG dialout nobody";
    QTest::newRow("owner only") << QStringList { "--com1", "PTY" } << "0600 root" << "Only the device's owner (root) may open it, so joining a group would not help; a udev rule";
}

void TestPanelProgram::startUpFailureReachesStandardError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, access);
    QFETCH(QString, says);

    PtyPair pty;
    arguments.replaceInStrings(QStringLiteral("PTY"), pty.slavePath());
    if (!access.isEmpty()) {
        if (!canRunUnprivileged())
            QSKIP("a refused permission needs the test to run as root");
        QVERIFY(restrictNode(pty.slavePath(), access));
    }
    QProcess process;
    start(process, arguments, !access.isEmpty());
    const QString said = stderrOnceItSays(process, says);
    stop(process); // the box would wait for an operator
    QVERIFY2(said.contains(QStringLiteral("koru-panel: COM1 (")), qPrintable(said));
    QVERIFY2(said.contains(says), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("Inappropriate ioctl")) && !said.contains(QStringLiteral("-aG root")), qPrintable(said));
}

void TestPanelProgram::qtOptionsAreLetThrough()
{
    PtyPair pty;
    QProcess panel;
    start(panel, { QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-style"),
                   QStringLiteral("fusion"), QStringLiteral("--com1"), pty.slavePath() });
    QTRY_VERIFY_WITH_TIMEOUT(holds(panel, pty.slavePath()) || panel.state() == QProcess::NotRunning, 10000);
    QVERIFY2(holds(panel, pty.slavePath()), panel.readAllStandardError().constData());
    stop(panel);
    QVERIFY(!panel.readAllStandardError().contains("nknown option"));
}

QTEST_GUILESS_MAIN(TestPanelProgram)
#include "tst_panelprogram.moc"
