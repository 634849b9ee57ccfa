#include "serial/commsettings.h"

#include <QTest>

using koru::parseCommSettings;

class TestCommSettings : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
};

void TestCommSettings::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("panel default") << "19200,N,8,1" << 19200 << int(QSerialPort::NoParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("panel slow") << "9600,N,8,1" << 9600 << int(QSerialPort::NoParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("even 7 2") << "1200,E,7,2" << 1200 << int(QSerialPort::EvenParity) << 7 << int(QSerialPort::TwoStop);
    QTest::newRow("odd lower case") << "4800,o,5,1.5" << 4800 << int(QSerialPort::OddParity) << 5 << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("mark") << "115200,M,6,1" << 115200 << int(QSerialPort::MarkParity) << 6 << int(QSerialPort::OneStop);
    QTest::newRow("space") << "300,S,8,2" << 300 << int(QSerialPort::SpaceParity) << 8 << int(QSerialPort::TwoStop);
}

void TestCommSettings::accepted()
{
    QFETCH(QString, text);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);

    const auto parsed = parseCommSettings(text);
    QVERIFY2(parsed.settings.has_value(), qPrintable(parsed.error));
    QVERIFY(parsed.error.isEmpty());
    QCOMPARE(parsed.settings->baudRate, baud);
    QCOMPARE(int(parsed.settings->parity), parity);
    QCOMPARE(int(parsed.settings->dataBits), dataBits);
    QCOMPARE(int(parsed.settings->stopBits), stopBits);
}

void TestCommSettings::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason"); // a word the message must contain

    QTest::newRow("empty") << "" << "fields";
    QTest::newRow("three fields") << "19200,N,8" << "fields";
    QTest::newRow("five fields") << "19200,N,8,1,1" << "fields";
    QTest::newRow("blank inside") << "19200, N,8,1" << "parity";
    QTest::newRow("leading blank") << " 19200,N,8,1" << "speed";
    QTest::newRow("speed not a number") << "fast,N,8,1" << "speed";
    QTest::newRow("speed zero") << "0,N,8,1" << "speed";
    QTest::newRow("speed negative") << "-9600,N,8,1" << "speed";
    QTest::newRow("speed signed") << "+9600,N,8,1" << "speed";
    QTest::newRow("speed too large") << "99999999999,N,8,1" << "speed";
    QTest::newRow("speed hex") << "0x4B00,N,8,1" << "speed";
    QTest::newRow("speed leading zero") << "09600,N,8,1" << "speed";
    QTest::newRow("speed many zeros") << "0000000000000000000000000000000000000000004,N,8,1" << "speed";
    QTest::newRow("parity unknown") << "19200,X,8,1" << "parity";
    QTest::newRow("parity word") << "19200,None,8,1" << "parity";
    QTest::newRow("parity empty") << "19200,,8,1" << "parity";
    QTest::newRow("data bits 4") << "19200,N,4,1" << "data bits";
    QTest::newRow("data bits 9") << "19200,N,9,1" << "data bits";
    QTest::newRow("data bits 08") << "19200,N,08,1" << "data bits";
    QTest::newRow("stop bits 3") << "19200,N,8,3" << "stop bits";
    QTest::newRow("stop bits 1.0") << "19200,N,8,1.0" << "stop bits";
    QTest::newRow("stop bits 0") << "19200,N,8,0" << "stop bits";
    QTest::newRow("trailing comma") << "19200,N,8,1," << "fields";
}

void TestCommSettings::refused()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);

    const auto parsed = parseCommSettings(text);
    QVERIFY(!parsed.settings.has_value());
    QVERIFY2(parsed.error.contains(reason), qPrintable(parsed.error));
    QVERIFY2(parsed.error.contains(QLatin1Char('"') + text + QLatin1Char('"')), qPrintable(parsed.error));
}

QTEST_APPLESS_MAIN(TestCommSettings)
#include "tst_commsettings.moc"
