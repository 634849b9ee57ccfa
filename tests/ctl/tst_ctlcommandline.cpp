// koru-ctl's command line: what it accepts, what it refuses with status 2,
// durations, and the list of commands.
#include "ctl/ctlcommandline.h"
#include "serial/commsettings.h"

#include <QTest>

using namespace std::chrono_literals;
using koru::Millis;
using koru::ctl::parseCtlCommandLine;
using koru::ctl::parseDuration;

class TestCtlCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void duration_data();
    void duration();
    void listShowsEveryCommandWithItsButton();
};

void TestCtlCommandLine::accepted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<int>("replyWaitMs");
    QTest::addColumn<int>("holdMs");
    QTest::addColumn<QString>("waitFor");
    QTest::addColumn<int>("withinMs");

    const QString fast = QLatin1String(koru::kSettings19200);
    QTest::newRow("defaults") << QStringList { "status" } << "/dev/ttyS0" << fast << QStringList { "CR0" } << 500 << 0 << "" << 0;
    QTest::newRow("names and codes in order")
        << QStringList { "--port", "/dev/ttyUSB0", "power-on", "C07", "lamp-time" } << "/dev/ttyUSB0" << fast
        << QStringList { "C00", "C07", "CR3" } << 500 << 0 << "" << 0;
    QTest::newRow("words people reach for") << QStringList { "lamp-hours", "input" } << "/dev/ttyS0" << fast
                                            << QStringList { "CR3", "CR1" } << 500 << 0 << "" << 0;
    QTest::newRow("slow line, short wait") << QStringList { "--speed", "9600", "--timeout", "150", "c01" } << "/dev/ttyS0"
                                           << QString::fromLatin1(koru::kSettings9600) << QStringList { "C01" } << 150 << 0 << "" << 0;
    QTest::newRow("hold") << QStringList { "--hold", "1.5s", "vol-up" } << "/dev/ttyS0" << fast << QStringList { "C09" } << 500 << 1500 << "" << 0;
    QTest::newRow("warm-up check") << QStringList { "power-on", "--wait-for", "power on", "--within", "90s" } << "/dev/ttyS0"
                                   << fast << QStringList { "C00" } << 500 << 0 << "Power ON" << 90000;
    QTest::newRow("one-shot state check") << QStringList { "--wait-for", "Stand by" } << "/dev/ttyS0" << fast
                                          << QStringList {} << 500 << 0 << "Stand by" << 0;
}

void TestCtlCommandLine::accepted()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, port);
    QFETCH(QString, settings);
    QFETCH(QStringList, codes);
    QFETCH(int, replyWaitMs);
    QFETCH(int, holdMs);
    QFETCH(QString, waitFor);
    QFETCH(int, withinMs);

    arguments.prepend(QStringLiteral("koru-ctl"));
    const auto parsed = parseCtlCommandLine(arguments);
    QVERIFY2(!parsed.exitCode, qPrintable(parsed.error));
    QCOMPARE(parsed.options.port, port);
    QCOMPARE(parsed.options.settings, settings);
    QStringList sent;
    for (const koru::Command *command : parsed.options.commands)
        sent << QLatin1String(command->code);
    QCOMPARE(sent, codes);
    QCOMPARE(parsed.options.replyWait, Millis(replyWaitMs));
    QCOMPARE(parsed.options.hold, Millis(holdMs));
    QCOMPARE(parsed.options.wantedStatus, waitFor);
    QCOMPARE(parsed.options.within, Millis(withinMs));
}

void TestCtlCommandLine::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");

    QTest::newRow("nothing to do") << QStringList {} << "no command";
    QTest::newRow("unknown name, suggestions") << QStringList { "power-onn" } << "did you mean: power-on";
    QTest::newRow("lower-case code") << QStringList { "c00" } << "did you mean: power-on";
    QTest::newRow("code not in the catalogue") << QStringList { "C99" } << "'C99' is not a code of the catalogue";
    QTest::newRow("speed") << QStringList { "--speed", "38400", "status" } << "19200 or 9600";
    QTest::newRow("timeout zero") << QStringList { "--timeout", "0", "status" } << "--timeout";
    QTest::newRow("hold without hold command") << QStringList { "--hold", "2s", "power-on" } << "hold command";
    QTest::newRow("hold not a duration") << QStringList { "--hold", "long", "vol-up" } << "--hold";
    QTest::newRow("wait for no status") << QStringList { "--wait-for", "Warm", "power-on" } << "Count down";
    QTest::newRow("within alone") << QStringList { "--within", "10s", "power-on" } << "--wait-for";
    QTest::newRow("empty port") << QStringList { "--port", "", "status" } << "port";
    QTest::newRow("unknown option") << QStringList { "--baud", "9600", "status" } << "baud";
}

void TestCtlCommandLine::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    arguments.prepend(QStringLiteral("koru-ctl"));
    const auto parsed = parseCtlCommandLine(arguments);
    QCOMPARE(parsed.exitCode.value_or(-1), koru::ctl::exitcode::Usage);
    QVERIFY2(parsed.error.contains(said), qPrintable(parsed.error));
    QVERIFY(parsed.output.isEmpty());
}

void TestCtlCommandLine::duration_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bareUnitMs");
    QTest::addColumn<int>("expectedMs"); // -1: refused

    QTest::newRow("bare seconds") << "10" << 1000 << 10000;
    QTest::newRow("bare milliseconds") << "250" << 1 << 250;
    QTest::newRow("ms") << "750ms" << 1000 << 750;
    QTest::newRow("fraction") << "1.5s" << 1000 << 1500;
    QTest::newRow("minutes") << "2m" << 1000 << 120000;
    QTest::newRow("hour") << "1h" << 1000 << 3600000;
    QTest::newRow("over a day") << "25h" << 1000 << -1;
    QTest::newRow("negative") << "-1s" << 1000 << -1;
    QTest::newRow("unit only") << "s" << 1000 << -1;
    QTest::newRow("blank inside") << "10 s" << 1000 << -1;
}

void TestCtlCommandLine::duration()
{
    QFETCH(QString, text);
    QFETCH(int, bareUnitMs);
    QFETCH(int, expectedMs);
    const auto parsed = parseDuration(text, Millis(bareUnitMs));
    QCOMPARE(parsed.has_value(), expectedMs >= 0);
    if (parsed)
        QCOMPARE(*parsed, Millis(expectedMs));
}

void TestCtlCommandLine::listShowsEveryCommandWithItsButton()
{
    const auto parsed = parseCtlCommandLine({ "koru-ctl", "--list" });
    QCOMPARE(parsed.exitCode.value_or(-1), 0);
    const QStringList lines = parsed.output.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), qsizetype(koru::commandCatalogue().size()));
    QCOMPARE(lines.first().simplified(), QStringLiteral("power-on C00 one-shot ON (POWER ON)"));
    const auto line = [&](const char *name) {
        for (const QString &l : lines)
            if (l.startsWith(QLatin1String(name) + u' '))
                return l.simplified();
        return QString();
    };
    QCOMPARE(line("cursor-up"), QString::fromUtf8("cursor-up C3C hold (arrow) ↑ (Cursor up)"));
    QCOMPARE(line("vol-up"), QStringLiteral("vol-up C09 hold + (VOL +)"));
    QCOMPARE(line("lamp-time"), QStringLiteral("lamp-time CR3 one-shot L-TIME (Lamp time query)"));
}

QTEST_GUILESS_MAIN(TestCtlCommandLine)
#include "tst_ctlcommandline.moc"
