// koru-ctl's run of commands against the simulated projector on a real
// pseudo-terminal: the lines it prints, holds, the warm-up wait, and each exit
// status with the faults that cause it.
#include "ctl/ctlrunner.h"
#include "protocol/trafficlog.h"
#include "serial/mscomm.h"
#include "sim/projectorsim.h"
#include "support/opening.h"
#include "support/pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using koru::ctl::CtlRunner;
using koru::sim::FaultMode;
using koru::sim::ProjectorSim;
using koru::sim::SimOptions;

Q_DECLARE_METATYPE(FaultMode)

namespace {

// One invocation, as the program makes it, with its output captured.
struct CtlRun
{
    explicit CtlRun(QStringList arguments, koru::TrafficLog *log = nullptr)
    {
        arguments.prepend(QStringLiteral("koru-ctl"));
        const auto parsed = koru::ctl::parseCtlCommandLine(arguments);
        parseError = parsed.error;
        runner = std::make_unique<CtlRunner>(parsed.options, out, err, log);
        finished = std::make_unique<QSignalSpy>(runner.get(), &CtlRunner::finished);
    }
    void start() { runner->start(); }
    // Runs the event loop until the run is over; its exit status, or -1.
    int finish()
    {
        if (finished->isEmpty() && !finished->wait(15000))
            return -1;
        return finished->first().first().toInt();
    }
    int operator()()
    {
        start();
        return finish();
    }
    QStringList lines() const { return outText.split(u'\n', Qt::SkipEmptyParts); }

    QString outText;
    QString errText;
    QTextStream out { &outText };
    QTextStream err { &errText };
    QString parseError;
    std::unique_ptr<CtlRunner> runner;
    std::unique_ptr<QSignalSpy> finished;
};

std::unique_ptr<ProjectorSim> startedSim(SimOptions options = {})
{
    auto sim = std::make_unique<ProjectorSim>(options);
    if (!sim->start())
        return nullptr;
    return sim;
}

} // namespace

class TestCtlRunner : public QObject
{
    Q_OBJECT

private slots:
    void oneLinePerCommand_data();
    void oneLinePerCommand();
    void jsonLinesForTheFourQueries();
    void holdRepeatsAtTheButtonsPeriod_data();
    void holdRepeatsAtTheButtonsPeriod();
    void waitForMeetsTheCountDown();
    void waitForRunsOut();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();
    void faultsOfTheProjector_data();
    void faultsOfTheProjector();
    void refusalEndsTheRunWithStatus4();
    void lostLineEndsTheRunWithStatus1();
    void logHasEveryFrameAndChunk();
};

void TestCtlRunner::oneLinePerCommand_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("plain command") << QStringList { "power-on" } << QStringList { R"(power-on  C00  " ACK CR ")" };
    QTest::newRow("raw code") << QStringList { "C07" } << QStringList { R"(input-video  C07  " ACK CR ")" };
    QTest::newRow("status") << QStringList { "status" } << QStringList { R"(status  CR0  " 8 0 CR "  Stand by)" };
    QTest::newRow("mode") << QStringList { "mode" } << QStringList { R"(mode  CR1  " 3 CR "  Video)" };
    QTest::newRow("lamp time") << QStringList { "lamp-time" }
                               << QStringList { R"(lamp-time  CR3  " 1 2 3 4 CR "  1 2 3 4 Hour)" };
    QTest::newRow("setting") << QStringList { "setting" }
                             << QStringList { R"(setting  CR4  " 1 0 CR "  Top/Bottom reversal)" };
    QTest::newRow("in order") << QStringList { "input-pc", "mode" }
                              << QStringList { R"(input-pc  C05  " ACK CR ")", R"(mode  CR1  " 1 CR "  Computer)" };
}

void TestCtlRunner::oneLinePerCommand()
{
    QFETCH(QStringList, commands);
    QFETCH(QStringList, expected);
    SimOptions options;
    options.projector.lampHours = 1234;
    options.projector.input = '3';
    options.projector.setting = "10";
    const auto sim = startedSim(options);
    QVERIFY(sim);

    CtlRun run(QStringList { "--port", sim->devicePath() } + commands);
    QCOMPARE(run(), 0);
    QCOMPARE(run.lines(), expected);
    QCOMPARE(run.errText, QString());
    QCOMPARE(sim->framesReceived(), qint64(commands.size()));
}

void TestCtlRunner::jsonLinesForTheFourQueries()
{
    const auto sim = startedSim();
    QVERIFY(sim);
    CtlRun run({ "--json", "--port", sim->devicePath(), "status", "mode", "lamp-time", "setting" });
    QCOMPARE(run(), 0);
    const QStringList lines = run.lines();
    QCOMPARE(lines.size(), 4);
    const QStringList words { "Stand by", "Computer", "0 0 0 0 Hour", "Normally" };
    for (int i = 0; i < 4; ++i) {
        const QJsonObject object = QJsonDocument::fromJson(lines[i].toUtf8()).object();
        QCOMPARE(object.value("words").toString(), words[i]);
        QCOMPARE(object.value("result").toString(), QStringLiteral("answered"));
        // The simulator answers after 20 ms; the whole exchange is well inside the wait.
        QVERIFY2(object.value("elapsed_ms").toInt() >= 15 && object.value("elapsed_ms").toInt() < 500,
                 qPrintable(lines[i]));
    }
}

void TestCtlRunner::holdRepeatsAtTheButtonsPeriod_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("minimumMs"); // from the first send to the end

    // Sends at 0, 250, 500 ms; 750 is past the hold.
    QTest::newRow("VOL + for 600 ms") << QStringList { "--hold", "600ms", "vol-up" } << 3 << 500;
    QTest::newRow("Zoom - every 50 ms") << QStringList { "--hold", "200ms", "zoom-down" } << 4 << 150;
    QTest::newRow("arrow at the start period") << QStringList { "--hold", "450ms", "cursor-up" } << 3 << 400;
    QTest::newRow("one-shot beside it is sent once") << QStringList { "--hold", "300ms", "power-on", "vol-down" } << 3 << 250;
    QTest::newRow("no hold: once, like a short press") << QStringList { "vol-up" } << 1 << 0;
}

void TestCtlRunner::holdRepeatsAtTheButtonsPeriod()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, frames);
    QFETCH(int, minimumMs);
    const auto sim = startedSim();
    QVERIFY(sim);
    CtlRun run(QStringList { "--port", sim->devicePath() } + arguments);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(), 0);
    QVERIFY(clock.elapsed() >= minimumMs);
    QCOMPARE(sim->framesReceived(), qint64(frames));
    const QStringList lines = run.lines();
    QCOMPARE(lines.size(), frames);
    for (const QString &line : lines)
        QVERIFY2(line.endsWith(QLatin1String(R"(  " ACK CR ")")), qPrintable(line));
}

void TestCtlRunner::waitForMeetsTheCountDown()
{
    SimOptions options;
    options.projector.countDown = 300ms;
    const auto sim = startedSim(options);
    QVERIFY(sim);
    CtlRun run({ "--port", sim->devicePath(), "power-on", "--wait-for", "Power ON", "--within", "10s" });
    QCOMPARE(run(), 0);
    QCOMPARE(run.lines(), (QStringList { R"(power-on  C00  " ACK CR ")", R"(status  CR0  " 4 0 CR "  Count down)",
                                         R"(status  CR0  " 0 0 CR "  Power ON)" }));
    QCOMPARE(run.errText, QString());
}

void TestCtlRunner::waitForRunsOut()
{
    const auto sim = startedSim();
    QVERIFY(sim);
    // Checks at 0 and at the deadline, 700 ms: the count down takes 3 s.
    CtlRun run({ "--port", sim->devicePath(), "power-on", "--wait-for", "Power ON", "--within", "700ms" });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(), 3);
    QVERIFY(clock.elapsed() >= 700);
    QCOMPARE(sim->framesReceived(), 3);
    QVERIFY2(run.errText.contains(QLatin1String(R"(the status is "Count down", not "Power ON", after 700 ms)")),
             qPrintable(run.errText));
}

void TestCtlRunner::portThatCannotBeOpened_data()
{
    QTest::addColumn<QString>("path"); // PTY: a pseudo-terminal another program holds
    QTest::addColumn<QString>("said");
    QTest::newRow("missing") << "/dev/koru-test-no-such-port" << "the device does not exist. Check that the adapter is plugged in, or name the device with --port.";
    QTest::newRow("busy") << "PTY" << "the port is busy, held by another program. Close the other program, or name another device with --port.";
    QTest::newRow("not a serial device") << "/etc/hostname" << "Name the adapter's device with --port; --list-ports shows";
    QTest::newRow("gateway refused") << "tcp://127.0.0.1:CLOSED" << "the connection was refused. Is the gateway running, is the port right? Check the address given with --port.";
}

void TestCtlRunner::portThatCannotBeOpened()
{
    QFETCH(QString, path);
    QFETCH(QString, said);
    koru::test::PtyPair pty;
    koru::MSComm holder;
    holder.setDevicePath(1, pty.slavePath());
    if (path == u"PTY") {
        QVERIFY(koru::test::openPort(holder));
        path = pty.slavePath();
    }
    QTcpServer closed; // a loopback port that was just given up: nobody listens there
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    path.replace(QStringLiteral("CLOSED"), QString::number(closed.serverPort()));
    closed.close();
    CtlRun run({ "--port", path, "status" });
    QCOMPARE(run(), 1);
    QVERIFY2(run.errText.startsWith(QStringLiteral("koru-ctl: %1 cannot be opened: ").arg(path)) && run.errText.contains(said),
             qPrintable(run.errText));
    // koru-ctl's own options only, and no port number the user never gave.
    for (const char *foreign : { "--com", "--save-ports", "COM1", "panel" })
        QVERIFY2(!run.errText.contains(QLatin1String(foreign)), qPrintable(run.errText));
    QCOMPARE(run.outText, QString());
    QCOMPARE(pty.readAvailable(), QByteArray());
}

void TestCtlRunner::faultsOfTheProjector_data()
{
    QTest::addColumn<FaultMode>("fault");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("silent, plain command") << FaultMode::Silent << "power-on" << 3 << "no reply within 100 ms";
    QTest::newRow("silent, query") << FaultMode::Silent << "status" << 3 << "no reply within 100 ms";
    QTest::newRow("garbage, plain command") << FaultMode::Garbage << "power-on" << 4 << "not an acknowledgement";
    QTest::newRow("garbage, query") << FaultMode::Garbage << "status" << 4 << "not a readable answer";
}

void TestCtlRunner::faultsOfTheProjector()
{
    QFETCH(FaultMode, fault);
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QString, said);
    SimOptions options;
    options.fault = fault;
    options.seed = 7;
    const auto sim = startedSim(options);
    QVERIFY(sim);
    // The run stops at the failing command: the second is never sent.
    CtlRun run({ "--timeout", "100", "--port", sim->devicePath(), command, "power-off" });
    QCOMPARE(run(), status);
    QCOMPARE(sim->framesReceived(), 1);
    QCOMPARE(run.lines().size(), 1);
    if (fault == FaultMode::Silent)
        QVERIFY(run.lines().first().endsWith(u"\" X X X X\""));
    QVERIFY2(run.errText.contains(said), qPrintable(run.errText));
}

void TestCtlRunner::refusalEndsTheRunWithStatus4()
{
    koru::test::PtyPair projector; // the test answers for the projector
    CtlRun run({ "--port", projector.slavePath(), "power-on", "power-off" });
    run.start();
    QCOMPARE(projector.readAtLeast(4), QByteArray("C00\r"));
    QVERIFY(projector.write(QByteArray("\x15\r", 2)));
    QCOMPARE(run.finish(), 4);
    QCOMPARE(run.lines(), QStringList { R"(power-on  C00  " ? CR ")" });
    QVERIFY2(run.errText.contains(u"refused the command (NAK)"), qPrintable(run.errText));
    QCOMPARE(projector.readFor(50ms), QByteArray());
}

void TestCtlRunner::lostLineEndsTheRunWithStatus1()
{
    SimOptions options;
    options.hangUpAfterFrames = 1;
    const auto sim = startedSim(options);
    QVERIFY(sim);
    CtlRun run({ "--port", sim->devicePath(), "status" });
    QCOMPARE(run(), 1);
    QVERIFY2(run.errText.contains(u"was lost"), qPrintable(run.errText));
}

void TestCtlRunner::logHasEveryFrameAndChunk()
{
    const auto sim = startedSim();
    QVERIFY(sim);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ctl.log"));
    koru::TrafficLog log;
    QVERIFY(log.open(path, nullptr));
    CtlRun run({ "--port", sim->devicePath(), "power-on", "status" }, &log);
    QCOMPARE(run(), 0);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList sent;
    QString receivedHex;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(QStringLiteral("  "));
        if (fields.size() < 5)
            continue;
        QCOMPARE(fields[2], sim->devicePath());
        if (fields[1] == u"TX")
            sent << fields[3];
        else if (fields[1] == u"RX")
            receivedHex += fields[4] + u' ';
    }
    QCOMPARE(sent, (QStringList { R"(" C 0 0 CR ")", R"(" C R 0 CR ")" }));
    QCOMPARE(receivedHex.simplified(), QStringLiteral("06 0d 34 30 0d")); // ACK CR, then "40" CR: count down
}

QTEST_GUILESS_MAIN(TestCtlRunner)
#include "tst_ctlrunner.moc"
