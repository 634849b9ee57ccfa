// The traffic log: its line format, and the file it appends to.
#include "protocol/trafficlog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using koru::TrafficDirection;
using koru::TrafficLog;

class TestTrafficLog : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void appendsFlushedLinesAndSkipsEmptyChunks();
    void unopenableFileIsRefusedWithReason();
};

void TestTrafficLog::line_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QDateTime summer(QDate(2024, 5, 6), QTime(22, 0, 0, 125), QTimeZone(2 * 3600));
    const QDateTime utc(QDate(2024, 12, 31), QTime(23, 59, 59, 5), QTimeZone::utc());
    QTest::newRow("frame sent") << summer << int(TrafficDirection::Sent) << QByteArray("C00\r")
                                << "2024-05-06T22:00:00.125+02:00  TX  /dev/ttyUSB0  \" C 0 0 CR \"  43 30 30 0d";
    QTest::newRow("ack received") << utc << int(TrafficDirection::Received) << QByteArray("\x06\r", 2)
                                  << "2024-12-31T23:59:59.005Z  RX  /dev/ttyUSB0  \" ACK CR \"  06 0d";
    QTest::newRow("nak, high byte, blank") << summer << int(TrafficDirection::Received)
                                           << QByteArray("\x15\xff 8", 4)
                                           << "2024-05-06T22:00:00.125+02:00  RX  /dev/ttyUSB0  \" ? ?   8 \"  15 ff 20 38";
}

void TestTrafficLog::line()
{
    QFETCH(QDateTime, when);
    QFETCH(int, direction);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(koru::formatTrafficLine(when, TrafficDirection(direction), u"/dev/ttyUSB0", bytes), expected);
}

void TestTrafficLog::appendsFlushedLinesAndSkipsEmptyChunks()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier run\n");
    }
    TrafficLog log;
    QString error;
    QVERIFY2(log.open(path, &error), qPrintable(error));
    log.sent(u"/dev/pts/9", QByteArray("CR0\r"));
    log.received(u"/dev/pts/9", QByteArray());
    log.received(u"/dev/pts/9", QByteArray("80\r"));

    // Read while the log is still open: each line must already be on disk.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 4); // the last one is empty, after the final newline
    QCOMPARE(lines[0], QByteArray("earlier run"));
    QVERIFY2(lines[1].endsWith("  TX  /dev/pts/9  \" C R 0 CR \"  43 52 30 0d"), lines[1].constData());
    QVERIFY2(lines[2].endsWith("  RX  /dev/pts/9  \" 8 0 CR \"  38 30 0d"), lines[2].constData());
}

void TestTrafficLog::unopenableFileIsRefusedWithReason()
{
    QTemporaryDir dir;
    TrafficLog log;
    QString error;
    const QString path = dir.filePath(QStringLiteral("no-such-dir/traffic.log"));
    QVERIFY(!log.open(path, &error));
    QVERIFY(!log.isOpen());
    QVERIFY2(error.contains(path) && error.contains(QStringLiteral("cannot be opened")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestTrafficLog)
#include "tst_trafficlog.moc"
