#include "serial/openfailure.h"
#include "serial/portconfig.h"
#include "serial/portlisting.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace koru;

// What the port component finds out about a port that cannot be opened, how
// ports are found and listed, and where the port mapping is kept.
class TestPortAdvice : public QObject
{
    Q_OBJECT

private slots:
    void groupThatMayOpen_data();
    void groupThatMayOpen();
    void listing_data();
    void listing();
    void stableNameIsTheByIdLinkToTheDevice();
    void configPathFollowsXdgConfigHome();
    void mappingRoundTripKeepsWhatIsNotSaved();
};

// A group is worth joining only when it may read and write the node and is
// not root's.
void TestPortAdvice::groupThatMayOpen_data()
{
    QTest::addColumn<bool>("rootGroup");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("named");
    QTest::newRow("group rw") << false << 0660 << true;
    QTest::newRow("group r only") << false << 0640 << false;
    QTest::newRow("owner only") << false << 0600 << false;
    QTest::newRow("root's group rw") << true << 0660 << false;
}

void TestPortAdvice::groupThatMayOpen()
{
    QFETCH(bool, rootGroup);
    QFETCH(int, mode);
    QFETCH(bool, named);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("node"));
    QFile(file).open(QIODevice::WriteOnly);
    // A group other than our own where we may hand the file to one.
    const group *other = ::geteuid() == 0 ? ::getgrnam("dialout") : nullptr;
    const gid_t gid = rootGroup ? 0 : other ? other->gr_gid : ::getegid();
    if (gid == 0 && ::geteuid() != 0)
        QSKIP("only root can hand a file to root's group");
    const QByteArray native = QFile::encodeName(file);
    QVERIFY(::chown(native.constData(), uid_t(-1), gid) == 0 && ::chmod(native.constData(), mode_t(mode)) == 0);
    QCOMPARE(koru::groupThatMayOpen(file), named ? QString::fromLocal8Bit(::getgrgid(gid)->gr_name) : QString());
    QCOMPARE(owningUser(file), QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    QCOMPARE(koru::groupThatMayOpen(QStringLiteral("/nonexistent/node")), QString());
    test::PtyPair pty;
    QVERIFY(isCharacterDevice(pty.slavePath()));
    QVERIFY(!isCharacterDevice(file));
}

void TestPortAdvice::listing_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QString>("text");

    SerialPortEntry usb;
    usb.device = QStringLiteral("/dev/ttyUSB0");
    usb.stableName = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    usb.description = QStringLiteral("FT232R USB UART");
    usb.manufacturer = QStringLiteral("FTDI");
    usb.vendorId = 0x0403;
    usb.productId = 0x6001;
    SerialPortEntry onboard;
    onboard.device = QStringLiteral("/dev/ttyS0");

    QTest::newRow("none") << QList<SerialPortEntry> {} << QStringLiteral("no serial ports found\n");
    QTest::newRow("usb and onboard") << QList<SerialPortEntry> { usb, onboard }
                                     << QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0  (/dev/ttyUSB0)  "
                                                       "FT232R USB UART  FTDI  USB 0403:6001\n/dev/ttyS0\n");
}

void TestPortAdvice::listing()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(QString, text);
    QCOMPARE(formatSerialPortListing(ports), text);
    QCOMPARE(preferredPortNames(ports, 1), ports.isEmpty() ? QStringList() : QStringList { ports.first().preferredName() });
}

void TestPortAdvice::stableNameIsTheByIdLinkToTheDevice()
{
    test::PtyPair pty;
    test::PtyPair other;
    QTemporaryDir byId;
    QVERIFY(QFile::link(other.slavePath(), byId.filePath(QStringLiteral("usb-other-if00"))));
    QVERIFY(QFile::link(pty.slavePath(), byId.filePath(QStringLiteral("usb-ours-if00"))));
    QCOMPARE(stableNameOf(pty.slavePath(), byId.path()), byId.filePath(QStringLiteral("usb-ours-if00")));
    QCOMPARE(stableNameOf(QStringLiteral("/dev/null"), byId.path()), QString());
    QCOMPARE(stableNameOf(pty.slavePath(), QStringLiteral("/nonexistent/by-id")), QString());
}

void TestPortAdvice::configPathFollowsXdgConfigHome()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/conf");
    QCOMPARE(portConfigPath(), QStringLiteral("/srv/conf/koru/panel.conf"));
    qputenv("XDG_CONFIG_HOME", "relative/conf"); // to be ignored
    QCOMPARE(portConfigPath(), QDir::homePath() + QStringLiteral("/.config/koru/panel.conf"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(portConfigPath(), QDir::homePath() + QStringLiteral("/.config/koru/panel.conf"));
    if (!saved.isNull())
        qputenv("XDG_CONFIG_HOME", saved);
}

void TestPortAdvice::mappingRoundTripKeepsWhatIsNotSaved()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("koru/panel.conf"));
    QVERIFY(!loadPortMapping(path).com1);

    QString error;
    QVERIFY(savePortMapping(path, { QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB1") }, &error));
    QVERIFY(savePortMapping(path, { QStringLiteral("/dev/serial/by-id/usb-x"), std::nullopt }, &error));
    const PortMapping loaded = loadPortMapping(path);
    QCOMPARE(loaded.com1.value_or(QString()), QStringLiteral("/dev/serial/by-id/usb-x"));
    QCOMPARE(loaded.com2.value_or(QString()), QStringLiteral("/dev/ttyUSB1"));

    QVERIFY(!savePortMapping(QStringLiteral("/proc/koru/panel.conf"), { QStringLiteral("/dev/ttyS0"), std::nullopt }, &error));
    QVERIFY(error.contains(QStringLiteral("/proc/koru")));
}

QTEST_GUILESS_MAIN(TestPortAdvice)
#include "tst_portadvice.moc"
