#include "serial/mscomm.h"
#include "serial/transport.h"
#include "support/idlecheck.h"
#include "support/opening.h"
#include "support/linespeed.h"
#include "support/pty.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using koru::MSComm;
using koru::test::lineSpeed;
using koru::test::PtyPair;
using namespace std::chrono_literals;

class TestMSComm : public QObject
{
    Q_OBJECT

private slots:
    void opensAtTheSettingsGiven();
    void outputPutsExactBytesOnTheLine();
    void inputReturnsEverythingWaitingOnce();
    void highBytesBecomeLatin1Characters();
    void settingsChangeTakesEffectOnTheOpenPort();
    void malformedSettingsAreRefusedAndKept();
    void openFailures_data();
    void openFailures();
    void deviceWithoutAccessIsPermissionDenied();
    void secondOpenOfTheSameDeviceIsBusy();
    void aliasOfAnOpenDeviceIsBusyToo();
    void writeToAClosedPortFails();
    void commPortCannotChangeWhileOpen();
    void closingAClosedPortIsNoFailure();
    void hangUpClosesThePortOnceAndLeavesTheProcessIdle();
};

void TestMSComm::opensAtTheSettingsGiven()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(comm.setCommPort(1));
    QVERIFY(comm.setSettings(QStringLiteral("19200,N,8,1")));
    const auto opened = koru::test::openPort(comm);
    QVERIFY2(opened, qPrintable(opened.message()));
    QVERIFY(comm.portOpen());
    // The kernel's view of the line, through the descriptor MSComm holds.
    termios tio {};
    QVERIFY(::tcgetattr(comm.transport()->nativeHandle(), &tio) == 0);
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(lineSpeed(pty.masterFd()), speed_t(B19200));
}

void TestMSComm::outputPutsExactBytesOnTheLine()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(comm.setSettings(QStringLiteral("19200,N,8,1")));
    QVERIFY(koru::test::openPort(comm));

    QVERIFY(comm.setOutput(QStringLiteral("C00\r")));
    // Written before the call returns, not on a later turn of the event loop.
    QCOMPARE(pty.readAvailable(), QByteArray("\x43\x30\x30\x0d"));
    QVERIFY(comm.setOutput(QStringLiteral("CR0\r")));
    QCOMPARE(pty.readFor(50ms), QByteArray("CR0\r"));
}

void TestMSComm::inputReturnsEverythingWaitingOnce()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(koru::test::openPort(comm));
    QSignalSpy notified(&comm, &MSComm::OnComm);

    QVERIFY(pty.write(QByteArray("80\r")));
    QTRY_VERIFY(notified.count() >= 1);
    QCOMPARE(comm.commEvent(), qint16(MSComm::comEvReceive));
    QString received;
    QTRY_COMPARE((received += comm.input(), received), QStringLiteral("80\r"));
    QCOMPARE(comm.input(), QString()); // reading emptied the buffer
}

void TestMSComm::highBytesBecomeLatin1Characters()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(koru::test::openPort(comm));

    const QByteArray bytes("\x06\x80\xff\xe9z", 5);
    QVERIFY(pty.write(bytes));
    QString received;
    QTRY_COMPARE((received += comm.input(), received.size()), qsizetype(5));
    QCOMPARE(received, QString::fromLatin1(bytes));
    QCOMPARE(received.at(2).unicode(), char16_t(0xff));
}

void TestMSComm::settingsChangeTakesEffectOnTheOpenPort()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(comm.setSettings(QStringLiteral("19200,N,8,1")));
    QVERIFY(koru::test::openPort(comm));

    QVERIFY(comm.setSettings(QStringLiteral("9600,N,8,1")));
    QVERIFY(comm.portOpen());
    QCOMPARE(comm.settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(lineSpeed(pty.masterFd()), speed_t(B9600));
    QVERIFY(comm.setOutput(QStringLiteral("C09\r")));
    QCOMPARE(pty.readAtLeast(4), QByteArray("C09\r"));
}

void TestMSComm::malformedSettingsAreRefusedAndKept()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(comm.setSettings(QStringLiteral("19200,N,8,1")));
    QVERIFY(koru::test::openPort(comm));

    const auto refused = comm.setSettings(QStringLiteral("19200;N;8;1"));
    QVERIFY(!refused);
    QVERIFY(refused.message().contains(QStringLiteral("19200;N;8;1")));
    QCOMPARE(comm.settings(), QStringLiteral("19200,N,8,1"));
    QCOMPARE(lineSpeed(pty.masterFd()), speed_t(B19200));
    QVERIFY(comm.portOpen());
}

void TestMSComm::openFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing device") << "/dev/koru-no-such-port" << "does not exist";
    QTest::newRow("missing directory") << "/nonexistent/dir/ttyUSB0" << "does not exist";
    QTest::newRow("empty path") << "" << "no device";
    QTest::newRow("regular file") << "/etc/hostname" << "/etc/hostname is not a serial device";
    QTest::newRow("directory") << "/tmp" << "/tmp is not a serial device";
    QTest::newRow("device that is no line") << "/dev/null" << "/dev/null is not a serial device";
}

void TestMSComm::openFailures()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);

    MSComm comm;
    comm.setDevicePath(1, path);
    const auto opened = koru::test::openPort(comm);
    QVERIFY(!opened);
    QVERIFY(!comm.portOpen());
    QVERIFY2(opened.message().contains(reason), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(QStringLiteral("COM1")), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(path), qPrintable(opened.message()));
    // The failure as data, for each program to word with its own options.
    QVERIFY(opened.openFailure() && opened.openFailure()->path == path);
    QVERIFY2(!opened.message().contains(u"--"), qPrintable(opened.message()));
}

void TestMSComm::deviceWithoutAccessIsPermissionDenied()
{
    PtyPair pty;
    const QByteArray device = QFile::encodeName(pty.slavePath());
    QVERIFY(::chmod(device.constData(), 0) == 0);
    // Root may open anything: take an ordinary user's identity for the open.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot)
        QVERIFY(::seteuid(65534) == 0);
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    const auto opened = koru::test::openPort(comm);
    if (asRoot)
        QVERIFY(::seteuid(0) == 0);
    QVERIFY(!opened);
    QVERIFY2(opened.message().contains(QStringLiteral("permission denied")), qPrintable(opened.message()));
    // Mode 0 lets no group in: joining the node's group would not help, so
    // no group is suggested.
    QVERIFY2(opened.message().contains(QStringLiteral("Only the device's owner")), qPrintable(opened.message()));
    QVERIFY2(!opened.message().contains(QStringLiteral("usermod")), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(pty.slavePath()), qPrintable(opened.message()));
}

void TestMSComm::secondOpenOfTheSameDeviceIsBusy()
{
    PtyPair pty;
    MSComm first;
    first.setDevicePath(1, pty.slavePath());
    QVERIFY(koru::test::openPort(first));

    MSComm second;
    second.setDevicePath(2, pty.slavePath());
    QVERIFY(second.setCommPort(2));
    const auto opened = koru::test::openPort(second);
    QVERIFY(!opened);
    QVERIFY2(opened.message().contains(QStringLiteral("busy")), qPrintable(opened.message()));
    QVERIFY2(opened.message().contains(QStringLiteral("COM2 (") + pty.slavePath()), qPrintable(opened.message()));
    QVERIFY(first.portOpen());

    // Once the first lets go, the second gets it.
    first.setPortOpen(false);
    QVERIFY(koru::test::openPort(second));
}

void TestMSComm::aliasOfAnOpenDeviceIsBusyToo()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString alias = dir.filePath(QStringLiteral("projector"));
    QVERIFY(QFile::link(pty.slavePath(), alias));

    MSComm first;
    first.setDevicePath(1, alias);
    QVERIFY(koru::test::openPort(first));
    QVERIFY(first.setOutput(QStringLiteral("C1C\r")));
    QCOMPARE(pty.readAtLeast(4), QByteArray("C1C\r"));

    MSComm second;
    second.setDevicePath(1, pty.slavePath());
    const auto opened = koru::test::openPort(second);
    QVERIFY(!opened);
    QVERIFY2(opened.message().contains(QStringLiteral("busy")), qPrintable(opened.message()));
}

void TestMSComm::writeToAClosedPortFails()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    const auto sent = comm.setOutput(QStringLiteral("C00\r"));
    QVERIFY(!sent);
    QVERIFY2(sent.message().contains(QStringLiteral("not open")), qPrintable(sent.message()));
    QVERIFY2(sent.message().contains(pty.slavePath()), qPrintable(sent.message()));
    QCOMPARE(pty.readFor(20ms), QByteArray());
}

void TestMSComm::commPortCannotChangeWhileOpen()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(koru::test::openPort(comm));
    QVERIFY(!comm.setCommPort(2));
    QCOMPARE(comm.commPort(), 1);
    QVERIFY(!comm.setCommPort(3));
    comm.setPortOpen(false);
    QVERIFY(comm.setCommPort(2));
    QCOMPARE(comm.commPort(), 2);
}

void TestMSComm::closingAClosedPortIsNoFailure()
{
    MSComm comm;
    comm.setPortOpen(false);
    comm.setPortOpen(false);
    QVERIFY(!comm.portOpen());
}

void TestMSComm::hangUpClosesThePortOnceAndLeavesTheProcessIdle()
{
    PtyPair pty;
    MSComm comm;
    comm.setDevicePath(1, pty.slavePath());
    QVERIFY(koru::test::openPort(comm));
    QSignalSpy notified(&comm, &MSComm::OnComm);

    pty.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(comm.transport() == nullptr, 1000);
    QVERIFY(!comm.portOpen());
    QTRY_COMPARE(notified.count(), 1);
    QVERIFY(comm.commEvent() != MSComm::comEvReceive);
    QVERIFY(comm.lineLostMessage().contains(pty.slavePath()));

    // No error flood once closed: the process stays idle.
    KORU_VERIFY_IDLE_SECOND();
    QCOMPARE(notified.count(), 1);

    // Each send says what happened, until the port is chosen again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto sent = comm.setOutput(QStringLiteral("C00\r"));
        QVERIFY(!sent);
        QVERIFY2(sent.message().contains(QStringLiteral("COM1 (%1) was lost: the line hung up").arg(pty.slavePath())),
                 qPrintable(sent.message()));
    }
    QVERIFY(comm.setCommPort(1));
    const auto sent = comm.setOutput(QStringLiteral("C00\r"));
    QVERIFY2(sent.message().contains(QStringLiteral("not open")), qPrintable(sent.message()));
}

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
