// The simulated projector over a real pseudo-terminal, and the
// koru-projector-sim program. The test plays the panel: it opens the slave
// side with plain POSIX calls, as any serial program would.
#include "sim/projectorsim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;
using koru::sim::FaultMode;
using koru::sim::ProjectorSim;
using koru::sim::SimOptions;

namespace {

const QByteArray Ack("\x06\r", 2);
const QByteArray Nak("\x15\r", 2);

// The panel's end of the line.
class SlaveEnd
{
public:
    explicit SlaveEnd(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios tio {};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~SlaveEnd() { close(); }
    SlaveEnd(const SlaveEnd &) = delete;
    SlaveEnd &operator=(const SlaveEnd &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Writes all of `bytes`, letting the event loop run while the line is full.
    bool writeAll(QByteArray bytes, std::chrono::milliseconds timeout = 5s)
    {
        QElapsedTimer clock;
        clock.start();
        while (!bytes.isEmpty() && clock.elapsed() < timeout.count()) {
            const ssize_t n = ::write(m_fd, bytes.constData(), size_t(bytes.size()));
            if (n > 0)
                bytes.remove(0, n);
            else
                QTest::qWait(5);
        }
        return bytes.isEmpty();
    }

    // What is waiting now; notes a hang-up (end of file, EIO or POLLHUP).
    QByteArray readAvailable()
    {
        QByteArray result;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0) {
                result.append(chunk, n);
                continue;
            }
            if (n == 0 || (n < 0 && errno == EIO))
                m_hungUp = true;
            break;
        }
        pollfd p { m_fd, POLLIN, 0 };
        if (::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP))
            m_hungUp = true;
        return result;
    }

    // Runs the event loop until `count` bytes have come or the time is up.
    QByteArray readAtLeast(qsizetype count, std::chrono::milliseconds timeout = 3s)
    {
        QByteArray result = readAvailable();
        QElapsedTimer clock;
        clock.start();
        while (result.size() < count && clock.elapsed() < timeout.count()) {
            QTest::qWait(5);
            result += readAvailable();
        }
        return result;
    }

    QByteArray readFor(std::chrono::milliseconds duration)
    {
        QByteArray result;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < duration.count()) {
            QTest::qWait(5);
            result += readAvailable();
        }
        return result + readAvailable();
    }

    bool hasHungUp() const { return m_hungUp; }

    // The line speed of this end, as a serial program sets it.
    bool setSpeed(speed_t speed)
    {
        termios tio {};
        return ::tcgetattr(m_fd, &tio) == 0 && ::cfsetspeed(&tio, speed) == 0 && ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

private:
    int m_fd = -1;
    bool m_hungUp = false;
};

std::chrono::microseconds cpuTimeUsed()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

SimOptions options(FaultMode fault = FaultMode::None)
{
    SimOptions result;
    result.fault = fault;
    result.seed = 1234;
    return result;
}

} // namespace

Q_DECLARE_METATYPE(FaultMode)

class TestProjectorSim : public QObject
{
    Q_OBJECT

private slots:
    void answersOverTheLine_data();
    void answersOverTheLine();
    void replyWaitsForTheDelay();
    void floodKeepsLineRate_data();
    void floodKeepsLineRate();
    void silentNeverAnswers();
    void garbageThenRecovers();
    void survivesGarbageFromThePeer();
    void survivesPeerReopening();
    void staysQuietWithoutReader_data();
    void staysQuietWithoutReader();
    void hangsUpAfterFrames();
    void startsOnlyOnce();

    void programServesAndExitsCleanly();
    void programRefusesToReplaceAFile();
    void programHearsOnlyItsOwnSpeed();
    void programKeepsItsLinkFromASecondOne();
    void programOptions_data();
    void programOptions();
};

void TestProjectorSim::answersOverTheLine_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("send");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("status") << 19200 << QByteArray("CR0\r") << QByteArray("80\r");
    QTest::newRow("status at 9600") << 9600 << QByteArray("CR0\r") << QByteArray("80\r");
    QTest::newRow("command") << 19200 << QByteArray("C00\r") << Ack;
    QTest::newRow("unknown") << 19200 << QByteArray("XYZ\r") << Nak;
    QTest::newRow("input change") << 19200 << QByteArray("C07\rCR1\r") << Ack + "3\r";
    QTest::newRow("lamp and setting") << 19200 << QByteArray("CR3\rCR4\r") << QByteArray("0000\r11\r");
}

void TestProjectorSim::answersOverTheLine()
{
    QFETCH(int, baud);
    QFETCH(QByteArray, send);
    QFETCH(QByteArray, reply);

    SimOptions opts = options();
    opts.baud = baud;
    ProjectorSim sim(opts, this);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    QVERIFY(sim.devicePath().startsWith(QLatin1String("/dev/")));
    QSignalSpy frames(&sim, &ProjectorSim::frameReceived);

    SlaveEnd peer(sim.devicePath());
    QVERIFY(peer.isOpen());
    QVERIFY(peer.write(send));
    QCOMPARE(peer.readAtLeast(reply.size()), reply);
    QCOMPARE(peer.readFor(100ms), QByteArray()); // nothing after it
    QCOMPARE(frames.size(), send.count('\r'));
    QCOMPARE(frames.first().first().toByteArray(), send.left(3));
    QCOMPARE(sim.bytesSent(), reply.size());
}

void TestProjectorSim::replyWaitsForTheDelay()
{
    SimOptions opts = options();
    opts.replyDelay = 1000ms;
    ProjectorSim sim(opts, this);
    QVERIFY(sim.start());
    SlaveEnd peer(sim.devicePath());
    QVERIFY(peer.write("CR0\r"));
    // A loaded machine only makes the reply later, never earlier.
    QCOMPARE(peer.readFor(150ms), QByteArray());
    QCOMPARE(peer.readAtLeast(3), QByteArray("80\r"));
}

void TestProjectorSim::floodKeepsLineRate_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("19200") << 19200;
    QTest::newRow("9600") << 9600;
}

// About one second of flood carries about a second's worth of characters,
// and every kind of byte among them.
void TestProjectorSim::floodKeepsLineRate()
{
    QFETCH(int, baud);
    SimOptions opts = options(FaultMode::Flood);
    opts.baud = baud;
    ProjectorSim sim(opts, this);
    QVERIFY(sim.start());
    SlaveEnd reader(sim.devicePath());
    reader.readAvailable(); // whatever came before we were listening

    QElapsedTimer clock;
    clock.start();
    const QByteArray got = reader.readFor(1000ms);
    const double expected = baud / 10.0 * double(clock.elapsed()) / 1000.0;
    const QByteArray report = QByteArray::number(got.size()) + " characters (sent " + QByteArray::number(sim.bytesSent()) + "), expected about "
        + QByteArray::number(qRound(expected));
    qInfo("%s", report.constData());
    QVERIFY2(got.size() > expected * 0.5 && got.size() < expected * 1.3 + 100, report.constData());
    QVERIFY(std::any_of(got.begin(), got.end(), [](char c) { return uchar(c) >= 128; }));
    QVERIFY(std::any_of(got.begin(), got.end(), [](char c) { return uchar(c) < 32; }));
}

void TestProjectorSim::silentNeverAnswers()
{
    ProjectorSim sim(options(FaultMode::Silent), this);
    QVERIFY(sim.start());
    SlaveEnd peer(sim.devicePath());
    QVERIFY(peer.write("CR0\rC00\rXYZ\r"));
    QCOMPARE(peer.readFor(300ms), QByteArray());
    QCOMPARE(sim.framesReceived(), 3);
    // It still acts on what it hears.
    QCOMPARE(sim.projector().power(sim.clock()), koru::sim::PowerState::CountDown);
}

void TestProjectorSim::garbageThenRecovers()
{
    ProjectorSim sim(options(FaultMode::Garbage), this);
    QVERIFY(sim.start());
    SlaveEnd peer(sim.devicePath());
    QByteArray garbage;
    for (int i = 0; i < 5; ++i) {
        QVERIFY(peer.write("CR0\r"));
        garbage += peer.readAtLeast(1);
    }
    garbage += peer.readFor(200ms);
    QVERIFY(!garbage.isEmpty());
    QVERIFY(!garbage.contains("80\r"));
    QCOMPARE(sim.framesReceived(), 5);

    sim.setFaultMode(FaultMode::None);
    QVERIFY(peer.write("CR0\r"));
    QCOMPARE(peer.readAtLeast(3), QByteArray("80\r"));
}

void TestProjectorSim::survivesGarbageFromThePeer()
{
    ProjectorSim sim(options(), this);
    QVERIFY(sim.start());
    SlaveEnd peer(sim.devicePath());
    QRandomGenerator random(99);
    QByteArray noise(20000, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    QVERIFY(peer.writeAll(noise));
    peer.readFor(300ms);
    QVERIFY(sim.isRunning());
    QVERIFY(peer.write("\rCR0\r"));
    QByteArray tail;
    QTRY_VERIFY2_WITH_TIMEOUT((tail += peer.readAvailable()).endsWith(Nak + "80\r"),
                              tail.right(40).toPercentEncoding().constData(), 3000);
}

// The panel closes and reopens its port while starting; the simulator must
// neither lose the line nor its state.
void TestProjectorSim::survivesPeerReopening()
{
    ProjectorSim sim(options(), this);
    QVERIFY(sim.start());
    {
        SlaveEnd first(sim.devicePath());
        QVERIFY(first.write("C06\r"));
        QCOMPARE(first.readAtLeast(2), Ack);
    }
    QTest::qWait(100);
    SlaveEnd second(sim.devicePath());
    QVERIFY(second.isOpen());
    QVERIFY(second.write("CR1\r"));
    QCOMPARE(second.readAtLeast(2), QByteArray("2\r"));
}

void TestProjectorSim::staysQuietWithoutReader_data()
{
    QTest::addColumn<FaultMode>("fault");
    QTest::addColumn<int>("baud");
    QTest::newRow("no peer open") << FaultMode::None << 19200;
    // Fast enough to fill the kernel's buffers within the first wait.
    QTest::newRow("flood, line full") << FaultMode::Flood << 4000000;
}

// With nobody on the other end, or a line that nobody drains, the simulator
// waits for the event loop instead of spinning on it.
void TestProjectorSim::staysQuietWithoutReader()
{
    QFETCH(FaultMode, fault);
    QFETCH(int, baud);
    SimOptions opts = options(fault);
    opts.baud = baud;
    ProjectorSim sim(opts, this);
    QVERIFY(sim.start());
    {
        SlaveEnd peer(sim.devicePath()); // opened and closed, as the panel does
    }
    QTest::qWait(1500); // time for a flood to fill the line
    const auto before = cpuTimeUsed();
    QTest::qWait(1000);
    const auto used = cpuTimeUsed() - before;
    QVERIFY2(used < 300ms, QByteArray::number(qint64(used.count())).append(" us").constData());
    QVERIFY(sim.isRunning());
}

void TestProjectorSim::hangsUpAfterFrames()
{
    SimOptions opts = options();
    opts.hangUpAfterFrames = 3;
    ProjectorSim sim(opts, this);
    QVERIFY(sim.start());
    QSignalSpy hungUp(&sim, &ProjectorSim::hungUp);
    SlaveEnd peer(sim.devicePath());

    QVERIFY(peer.write("CR0\r"));
    QCOMPARE(peer.readAtLeast(3), QByteArray("80\r"));
    QVERIFY(peer.write("C00\r"));
    QCOMPARE(peer.readAtLeast(2), Ack);
    QVERIFY(!peer.hasHungUp());
    QCOMPARE(hungUp.size(), 0);

    QVERIFY(peer.write("CR0\r"));
    QTRY_VERIFY_WITH_TIMEOUT((peer.readAvailable(), peer.hasHungUp()), 3000);
    QCOMPARE(hungUp.size(), 1);
    QVERIFY(!sim.isRunning());
    QVERIFY(sim.hasHungUp());
    // Idle afterwards: changing the mode starts nothing on a dead line.
    sim.setFaultMode(FaultMode::Flood);
    QTest::qWait(50);
    QCOMPARE(sim.bytesSent(), 5);
}

void TestProjectorSim::startsOnlyOnce()
{
    ProjectorSim sim(options(), this);
    QVERIFY(sim.start());
    const QString path = sim.devicePath();
    QString error;
    QVERIFY(!sim.start(&error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(sim.devicePath(), path);
}

namespace {

QString programPath()
{
    return QStringLiteral(KORU_PROJECTOR_SIM_PATH);
}

// Waits for the first line the program prints.
QString firstLine(QProcess &process)
{
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine() && clock.elapsed() < 5000 && process.state() != QProcess::NotRunning)
        QTest::qWait(10);
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

} // namespace

void TestProjectorSim::programServesAndExitsCleanly()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("projector"));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/old-device"), link)); // a stale link to replace

    QProcess process;
    process.start(programPath(), { QStringLiteral("--link"), link, QStringLiteral("--delay"), QStringLiteral("5") });
    const QString device = firstLine(process);
    QVERIFY2(device.startsWith(QLatin1String("/dev/")), qPrintable(device + process.readAllStandardError()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);

    SlaveEnd peer(link);
    QVERIFY(peer.isOpen());
    QVERIFY(peer.write("CR0\rC07\rCR1\r"));
    QCOMPARE(peer.readAtLeast(7), QByteArray("80\r") + Ack + "3\r");

    process.terminate(); // SIGTERM
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 5000);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
}

void TestProjectorSim::programRefusesToReplaceAFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("precious"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    QProcess process;
    process.start(programPath(), { QStringLiteral("--link"), path });
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 5000);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("not a symbolic link"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void TestProjectorSim::programHearsOnlyItsOwnSpeed()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("projector"));
    QProcess process;
    process.start(programPath(), { QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("--link"), link,
                                   QStringLiteral("--delay"), QStringLiteral("5") });
    QVERIFY(firstLine(process).startsWith(QLatin1String("/dev/")));

    SlaveEnd peer(link);
    QVERIFY(peer.isOpen());
    QVERIFY(peer.setSpeed(B19200));
    QVERIFY(peer.write("CR0\r"));
    QCOMPARE(peer.readFor(300ms), QByteArray()); // a projector at 9600 makes nothing of it
    QVERIFY(peer.setSpeed(B9600));
    QVERIFY(peer.write("CR0\r"));
    QCOMPARE(peer.readAtLeast(3), QByteArray("80\r"));

    process.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 5000);
    QCOMPARE(process.exitCode(), 0);
}

void TestProjectorSim::programKeepsItsLinkFromASecondOne()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("projector"));
    QProcess first;
    first.start(programPath(), { QStringLiteral("--link"), link });
    const QString firstDevice = firstLine(first);
    QCOMPARE(QFileInfo(link).symLinkTarget(), firstDevice);

    QProcess second;
    second.start(programPath(), { QStringLiteral("--link"), link });
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 5000);
    QCOMPARE(second.exitCode(), 1);
    const QByteArray said = second.readAllStandardError();
    QVERIFY2(said.contains("still running") && said.contains("--force"), said.constData());
    QCOMPARE(QFileInfo(link).symLinkTarget(), firstDevice);

    QProcess forced;
    forced.start(programPath(), { QStringLiteral("--link"), link, QStringLiteral("--force") });
    const QString forcedDevice = firstLine(forced);
    QVERIFY(forcedDevice != firstDevice);
    QCOMPARE(QFileInfo(link).symLinkTarget(), forcedDevice);

    // The first one leaves the link it lost alone; the last one removes it.
    first.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(first.state(), QProcess::NotRunning, 5000);
    QCOMPARE(QFileInfo(link).symLinkTarget(), forcedDevice);
    forced.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(forced.state(), QProcess::NotRunning, 5000);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link + QStringLiteral(".lock")));
}

void TestProjectorSim::programOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output"); // on stdout for 0, on stderr otherwise

    QTest::newRow("help") << QStringList { "--help" } << 0 << QByteArray("--hangup-after");
    // Started by its full path, it still calls itself by its name.
    QTest::newRow("usage line") << QStringList { "--help" } << 0 << QByteArray("Usage: koru-projector-sim [options]\n");
    QTest::newRow("version") << QStringList { "--version" } << 0 << QByteArray(KORU_VERSION);
    QTest::newRow("unknown option") << QStringList { "--frobnicate" } << 2 << QByteArray("frobnicate");
    QTest::newRow("bad value") << QStringList { "--baud", "fast" } << 2 << QByteArray("--baud");
    QTest::newRow("no standard speed") << QStringList { "--baud", "12345" } << 2 << QByteArray("standard line speed");
    QTest::newRow("force without link") << QStringList { "--force" } << 2 << QByteArray("--link");
}

void TestProjectorSim::programOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);

    QProcess process;
    process.start(programPath(), arguments);
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 5000);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QByteArray text = exitCode == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
    QVERIFY2(text.contains(output), text.constData());
}

QTEST_GUILESS_MAIN(TestProjectorSim)
#include "tst_projectorsim.moc"
