#include "panel/openfailuremessage.h"

#include <QTest>

using namespace koru;

// What the panel's operator is told when a port cannot be opened: the
// panel's own options, and the next step at start-up and later.
class TestOpenFailureMessage : public QObject
{
    Q_OBJECT

private slots:
    void messages_data();
    void messages();
    void missingDeviceNamesAtMostThreePorts();
};

void TestOpenFailureMessage::messages_data()
{
    QTest::addColumn<int>("cause");
    QTest::addColumn<bool>("atStartUp");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("neverSays");

    const auto row = [](const char *name, OpenFailureCause cause, bool atStartUp, const char *says, const char *neverSays) {
        QTest::newRow(name) << int(cause) << atStartUp << QString::fromUtf8(says) << QString::fromUtf8(neverSays);
    };
    row("busy while running", OpenFailureCause::Busy, false, "choose the port again", "start the panel again");
    row("busy at start-up", OpenFailureCause::Busy, true, "start the panel again", "choose the port again");
    row("not a serial device", OpenFailureCause::NotASerialDevice, true, "/dev/ttyUSB0 is not a serial device", "ioctl");
    row("permission", OpenFailureCause::PermissionDenied, false, "sudo usermod -aG uucp alice (then log out and in again)", "dialout");
    row("missing, ports present", OpenFailureCause::NoDevice, false, "Serial ports present: /dev/serial/by-id/usb-FTDI-if00, /dev/ttyS0.", "No serial");
    row("missing, config named", OpenFailureCause::NoDevice, true, "--save-ports to keep the device for later starts (in /home/alice/.config/koru/panel.conf)", "busy");
    row("other", OpenFailureCause::Other, false, "COM2 (/dev/ttyUSB0) cannot be opened: Input/output error.", "busy");
}

void TestOpenFailureMessage::messages()
{
    QFETCH(int, cause);
    QFETCH(bool, atStartUp);
    QFETCH(QString, says);
    QFETCH(QString, neverSays);

    OpenFailure failure;
    failure.port = cause == int(OpenFailureCause::Other) ? 2 : 1;
    failure.path = QStringLiteral("/dev/ttyUSB0");
    failure.cause = OpenFailureCause(cause);
    failure.systemText = QStringLiteral("Input/output error");
    failure.deviceGroup = QStringLiteral("uucp");
    failure.userName = QStringLiteral("alice");
    failure.presentPorts = { QStringLiteral("/dev/serial/by-id/usb-FTDI-if00"), QStringLiteral("/dev/ttyS0") };
    failure.configFile = QStringLiteral("/home/alice/.config/koru/panel.conf");
    const QString message = openFailureMessage(failure, atStartUp);
    QVERIFY2(message.contains(says), qPrintable(message));
    QVERIFY2(!message.contains(neverSays, Qt::CaseInsensitive), qPrintable(message));
}

void TestOpenFailureMessage::missingDeviceNamesAtMostThreePorts()
{
    OpenFailure failure;
    failure.cause = OpenFailureCause::NoDevice;
    failure.path = QStringLiteral("/dev/ttyUSB3");
    failure.presentPorts = { "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB9" };
    const QString message = openFailureMessage(failure, false);
    QVERIFY2(message.contains(QStringLiteral("/dev/ttyUSB0, /dev/ttyUSB1, /dev/ttyUSB2.")), qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("ttyUSB9")));

    failure.presentPorts.clear();
    QVERIFY(openFailureMessage(failure, false).contains(QStringLiteral("No serial ports are present")));
}

QTEST_GUILESS_MAIN(TestOpenFailureMessage)
#include "tst_openfailuremessage.moc"
