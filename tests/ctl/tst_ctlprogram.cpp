// The koru-ctl program as a script runs it: a child process on the
// simulator's pseudo-terminal, judged by its exit status and its output.
#include "serial/portlisting.h"
#include "sim/projectorsim.h"
#include "support/ser2netgateway.h"
#include "support/unprivileged.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using koru::sim::ProjectorSim;
using koru::sim::SimOptions;
using koru::test::Ser2NetGateway;

Q_DECLARE_METATYPE(Ser2NetGateway::Mode)

namespace {

struct Result
{
    int status = -1;
    QStringList lines;
    QString errors;
};

// Runs koru-ctl while this process's event loop keeps the simulator answering.
Result runCtl(const QStringList &arguments, bool asNobody = false)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    const QString program = QStringLiteral(KORU_CTL_PATH);
    if (asNobody)
        process.start(QStringLiteral("setpriv"), koru::test::unprivileged(program, arguments));
    else
        process.start(program, arguments);
    Result result;
    if (!finished.wait(15000))
        return result;
    if (process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    result.lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace

class TestCtlProgram : public QObject
{
    Q_OBJECT

private slots:
    void warmUpCheckAfterPowerOn();
    void jsonReport();
    void statusOfEachFailure_data();
    void statusOfEachFailure();
    void queriesThroughAGateway_data();
    void queriesThroughAGateway();
    void gatewayWhoseDeviceIsHeld_data();
    void gatewayWhoseDeviceIsHeld();
    void listPortsShowsWhatTheSystemKnows();
};

void TestCtlProgram::warmUpCheckAfterPowerOn()
{
    SimOptions options;
    options.projector.countDown = 400ms;
    ProjectorSim sim(options);
    QVERIFY(sim.start());
    const Result result = runCtl({ "--port", sim.devicePath(), "power-on", "--wait-for", "Power ON", "--within", "10s" });
    QCOMPARE(result.status, 0);
    QVERIFY2(result.lines.last().endsWith(u"  Power ON"), qPrintable(result.lines.join(u'\n')));
    QVERIFY(result.lines.size() >= 3); // power-on, then at least one check in the count down
    QCOMPARE(result.errors, QString());
}

void TestCtlProgram::jsonReport()
{
    SimOptions options;
    options.projector.lampHours = 42;
    ProjectorSim sim(options);
    QVERIFY(sim.start());
    const Result result = runCtl({ "--port", sim.devicePath(), "--json", "status", "mode", "lamp-time", "setting" });
    QCOMPARE(result.status, 0);
    QCOMPARE(result.lines.size(), 4);
    QStringList words;
    for (const QString &line : result.lines)
        words << QJsonDocument::fromJson(line.toUtf8()).object().value("words").toString();
    QCOMPARE(words, (QStringList { "Stand by", "Computer", "0 0 4 2 Hour", "Normally" }));
}

void TestCtlProgram::statusOfEachFailure_data()
{
    QTest::addColumn<QStringList>("arguments"); // PORT stands for the simulator's device
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("access"); // the device's owner and mode; koru-ctl then runs as nobody
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");

    QTest::newRow("usage") << QStringList { "--port", "PORT", "powr-on" } << false << "" << 2 << "did you mean: power-on";
    QTest::newRow("missing port") << QStringList { "--port", "/dev/koru-test-none", "status" } << false << "" << 1
                                  << "/dev/koru-test-none cannot be opened: the device does not exist. Check that the "
                                     "adapter is plugged in, or name the device with --port.";
    QTest::newRow("log cannot be opened") << QStringList { "--log", "/proc/koru-no/ctl.log", "--port", "PORT", "status" }
                                          << false << "" << 1 << "traffic log '/proc/koru-no/ctl.log' cannot be opened";
    QTest::newRow("no reply") << QStringList { "--timeout", "100", "--port", "PORT", "status" } << true << "" << 3 << "no reply";
    QTest::newRow("wait, nothing answers") << QStringList { "--timeout", "100", "--port", "PORT", "--wait-for", "Power ON" }
                                           << true << "" << 3 << "no reply to the status query, so it cannot be \"Power ON\".";
    QTest::newRow("address without port") << QStringList { "--port", "tcp://127.0.0.1", "status" } << false << "" << 2
                                          << "--port: \"tcp://127.0.0.1\" is not a port address: the port number is missing";
    QTest::newRow("unknown scheme") << QStringList { "--port", "telnet://127.0.0.1:23", "status" } << false << "" << 2
                                    << "is not a kind of port known here";
    QTest::newRow("group may open") << QStringList { "--port", "PORT", "status" } << false << "0660 dialout" << 1
                                    << "permission denied. The device belongs to the group 'dialout', which may read and "
                                       "write it; add this user to it with: sudo usermod -aG dialout nobody";
    QTest::newRow("owner only") << QStringList { "--port", "PORT", "status" } << false << "0600 root" << 1
                                << "permission denied. Only the device's owner (root) may open it, so joining a group "
                                   "would not help; a udev rule";
}

void TestCtlProgram::statusOfEachFailure()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, silent);
    QFETCH(QString, access);
    QFETCH(int, status);
    QFETCH(QString, said);
    SimOptions options;
    options.fault = silent ? koru::sim::FaultMode::Silent : koru::sim::FaultMode::None;
    ProjectorSim sim(options);
    QVERIFY(sim.start());
    if (!access.isEmpty()) {
        if (!koru::test::canRunUnprivileged())
            QSKIP("a refused permission needs the test to run as root");
        QVERIFY(koru::test::restrictNode(sim.devicePath(), access));
    }
    arguments.replaceInStrings(QStringLiteral("PORT"), sim.devicePath());
    const Result result = runCtl(arguments, !access.isEmpty());
    QCOMPARE(result.status, status);
    QVERIFY2(result.errors.startsWith(u"koru-ctl: ") && result.errors.contains(said), qPrintable(result.errors));
    QVERIFY2(!result.errors.contains(u"-aG root") && !result.errors.contains(u"COM1"), qPrintable(result.errors));
    QCOMPARE(sim.framesReceived(), silent ? 1 : 0);
}

void TestCtlProgram::queriesThroughAGateway_data()
{
    QTest::addColumn<Ser2NetGateway::Mode>("mode");
    QTest::addColumn<QString>("speed");
    QTest::newRow("tcp") << Ser2NetGateway::Mode::RawTcp << "19200";
    // Over RFC 2217 the tool sets the gateway's line to the projector's speed.
    QTest::newRow("rfc2217 at 9600") << Ser2NetGateway::Mode::Rfc2217 << "9600";
}

void TestCtlProgram::queriesThroughAGateway()
{
    QFETCH(Ser2NetGateway::Mode, mode);
    QFETCH(QString, speed);
    SimOptions options;
    options.baud = speed.toInt();
    ProjectorSim sim(options);
    QVERIFY(sim.start());
    Ser2NetGateway gateway;
    QVERIFY2(gateway.start(sim.devicePath(), mode), qPrintable(gateway.error()));
    const Result result = runCtl({ "--port", gateway.address(), "--speed", speed, "status", "mode", "power-on" });
    QCOMPARE(result.status, 0);
    QCOMPARE(result.lines.size(), 3);
    QVERIFY2(result.lines[0].endsWith(u"  Stand by"), qPrintable(result.lines.join(u'\n')));
    QVERIFY2(result.lines[1].endsWith(u"  Computer"), qPrintable(result.lines.join(u'\n')));
    QVERIFY2(result.lines[2].contains(u"\" ACK CR \""), qPrintable(result.lines.join(u'\n')));
}

// The gateway's other port holds the device: the gateway turns the
// connection down in words, which are neither the projector's reply nor a
// reason to try the other mode.
void TestCtlProgram::gatewayWhoseDeviceIsHeld_data()
{
    QTest::addColumn<Ser2NetGateway::Mode>("mode");
    QTest::newRow("tcp, held over rfc2217") << Ser2NetGateway::Mode::RawTcp;
    QTest::newRow("rfc2217, held over tcp") << Ser2NetGateway::Mode::Rfc2217;
}

void TestCtlProgram::gatewayWhoseDeviceIsHeld()
{
    QFETCH(Ser2NetGateway::Mode, mode);
    ProjectorSim sim(SimOptions {});
    QVERIFY(sim.start());
    Ser2NetGateway gateway;
    QVERIFY2(gateway.start(sim.devicePath(), mode, QStringLiteral("127.0.0.1"), true), qPrintable(gateway.error()));
    // The twin's connection holds the device once the projector has answered through it.
    QProcess holder;
    holder.start(QStringLiteral(KORU_CTL_PATH), { "--port", gateway.twinAddress(), "--hold", "3s", "vol-up" });
    QTRY_VERIFY_WITH_TIMEOUT(sim.framesReceived() > 0, 5000);
    const Result result = runCtl({ "--port", gateway.address(), "status" });
    holder.kill();
    holder.waitForFinished(2000);
    QCOMPARE(result.status, 1);
    QVERIFY2(result.errors.contains(u"the gateway refused the connection, saying \"Port's device already in use\""),
             qPrintable(result.errors));
    QVERIFY2(!result.errors.contains(u"instead") && !result.errors.contains(u"line speed"), qPrintable(result.errors));
}

void TestCtlProgram::listPortsShowsWhatTheSystemKnows()
{
    const Result result = runCtl({ "--list-ports" });
    QCOMPARE(result.status, 0);
    QCOMPARE(result.lines.join(u'\n') + u'\n', koru::formatSerialPortListing(koru::presentSerialPorts()));
}

QTEST_GUILESS_MAIN(TestCtlProgram)
#include "tst_ctlprogram.moc"
