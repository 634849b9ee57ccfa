// The command line of koru-projector-sim, read into the simulator's options.
#include "sim/simcommandline.h"

#include <QTest>

using namespace std::chrono_literals;
using koru::sim::FaultMode;
using koru::sim::SimCommandLine;

class TestSimCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void everyOption();
    void rejected_data();
    void rejected();
};

void TestSimCommandLine::defaults()
{
    const SimCommandLine line = koru::sim::parseSimCommandLine({ "koru-projector-sim" });
    QVERIFY2(!line.exitCode, qPrintable(line.error));
    QCOMPARE(line.options.replyDelay, 20ms);
    QCOMPARE(line.options.baud, 19200);
    QCOMPARE(line.options.fault, FaultMode::None);
    QCOMPARE(line.options.hangUpAfterFrames, 0);
    QVERIFY(!line.options.seed.has_value());
    QVERIFY(line.linkPath.isEmpty());
}

void TestSimCommandLine::everyOption()
{
    const SimCommandLine line = koru::sim::parseSimCommandLine({
        "koru-projector-sim", "--delay", "0", "--baud", "9600", "--garbage", "--hangup-after", "7",
        "--seed", "4294967295", "--countdown", "100", "--cooling", "200", "--lamp-hours", "9999",
        "--lamp-hour-length", "1000", "--input", "2", "--setting", "01", "--link", "/tmp/x", "--verbose" });
    QVERIFY2(!line.exitCode, qPrintable(line.error));
    QCOMPARE(line.options.replyDelay, 0ms);
    QCOMPARE(line.options.baud, 9600);
    QCOMPARE(line.options.fault, FaultMode::Garbage);
    QCOMPARE(line.options.hangUpAfterFrames, 7);
    QCOMPARE(line.options.seed.value_or(0), 4294967295u);
    QCOMPARE(line.options.projector.countDown, 100ms);
    QCOMPARE(line.options.projector.coolingDown, 200ms);
    QCOMPARE(line.options.projector.lampHours, 9999);
    QCOMPARE(line.options.projector.lampHourLength, 1000ms);
    QCOMPARE(line.options.projector.input, '2');
    QCOMPARE(line.options.projector.setting, QByteArray("01"));
    QCOMPARE(line.linkPath, QStringLiteral("/tmp/x"));
    QVERIFY(line.verbose);

    QCOMPARE(koru::sim::parseSimCommandLine({ "p", "--flood" }).options.fault, FaultMode::Flood);
    QCOMPARE(koru::sim::parseSimCommandLine({ "p", "--silent" }).options.fault, FaultMode::Silent);
}

void TestSimCommandLine::rejected_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("negative delay") << QStringList { "--delay", "-1" };
    QTest::newRow("baud zero") << QStringList { "--baud", "0" };
    QTest::newRow("baud with unit") << QStringList { "--baud", "9600bd" };
    QTest::newRow("seed too big") << QStringList { "--seed", "4294967296" };
    QTest::newRow("lamp hours five digits") << QStringList { "--lamp-hours", "10000" };
    QTest::newRow("input 4") << QStringList { "--input", "4" };
    QTest::newRow("setting 2") << QStringList { "--setting", "2" };
    QTest::newRow("garbage and flood") << QStringList { "--garbage", "--flood" };
    QTest::newRow("empty link") << QStringList { "--link", "" };
    QTest::newRow("hang up after no frames") << QStringList { "--hangup-after", "0" };
    QTest::newRow("missing value") << QStringList { "--delay" };
    QTest::newRow("stray argument") << QStringList { "COM1" };
    QTest::newRow("unknown option") << QStringList { "--frobnicate" };
}

void TestSimCommandLine::rejected()
{
    QFETCH(QStringList, arguments);
    arguments.prepend("koru-projector-sim");
    const SimCommandLine line = koru::sim::parseSimCommandLine(arguments);
    QCOMPARE(line.exitCode.value_or(-1), 2);
    QVERIFY(line.error.startsWith(u"koru-projector-sim: "));
}

QTEST_GUILESS_MAIN(TestSimCommandLine)
#include "tst_simcommandline.moc"
