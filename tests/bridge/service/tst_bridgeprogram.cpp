// koru-bridge as the service manager runs it: strict about its configuration,
// ready once it listens, answering PJLink from the simulated projector,
// reloading on SIGHUP, stopping cleanly on SIGTERM.
#include "support/mosquittobroker.h"
#include "support/pjlinkclient.h"
#include "sim/projectorsim.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The service manager's end of NOTIFY_SOCKET: a datagram socket at `path`.
struct NotifySocket
{
    explicit NotifySocket(const QString &path)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    ~NotifySocket() { ::close(fd); }
    bool waitFor(const QByteArray &word)
    {
        return QTest::qWaitFor([&] {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            return n > 0 && QByteArray(buffer, int(n)).contains(word);
        }, 5000);
    }
    int fd;
};

// The other programs' options and ways back have no place in the bridge's log.
bool inBridgeTerms(const QString &log)
{
    for (const char *foreign : { "COM1", "--com1", "choose it again", "--save-ports", "--list-ports" }) {
        if (log.contains(QLatin1String(foreign)))
            return false;
    }
    return true;
}

// koru-bridge started with `arguments`, a service manager listening.
struct Service
{
    explicit Service(QStringList arguments) : notify(dir.filePath(QStringLiteral("notify")))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NOTIFY_SOCKET"), dir.filePath(QStringLiteral("notify")));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KORU_BRIDGE_PATH), arguments);
    }
    void signal(int number) { ::kill(pid_t(process.processId()), number); }
    // Standard error so far, kept.
    const QString &log()
    {
        m_log += QString::fromUtf8(process.readAllStandardError());
        return m_log;
    }
    bool terminate()
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit;
    }
    QTemporaryDir dir;
    NotifySocket notify;
    QProcess process;
    QString m_log;
};

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

class TestBridgeProgram : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void runsAsAService();
    void startsWithoutItsLine();
    void losesItsLine();
    void reloadsOnHangUp();
};

void TestBridgeProgram::check_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QString good = QStringLiteral("[projector a]\nport = /dev/ttyS0\nraw = 127.0.0.1:4001\n");
    QTest::newRow("good") << good << QStringList() << 0 << "1 projector(s), no problem found";
    QTest::newRow("unknown key") << good + "sped = 1\n" << QStringList() << 2 << "bridge.conf:4: [projector a]: sped: unknown key";
    QTest::newRow("bad option") << QString() << QStringList { "--port", "/dev/ttyS0", "--raw", "127.0.0.1:1", "--speed", "5" }
                                << 2 << "--speed: \"5\" is not 9600 or 19200";
    QTest::newRow("no file") << QString() << QStringList() << 2 << "bridge.conf: No such file";
    QTest::newRow("help") << QString() << QStringList { "--help" } << 0 << "Usage: koru-bridge [options]";
}

void TestBridgeProgram::check()
{
    QFETCH(QString, config);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bridge.conf"));
    if (!config.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(config.toUtf8());
    }
    if (options.isEmpty())
        options = { QStringLiteral("--config"), path };
    QProcess bridge;
    bridge.start(QStringLiteral(KORU_BRIDGE_PATH), options << QStringLiteral("--check"));
    QVERIFY(bridge.waitForFinished(5000));
    QCOMPARE(bridge.exitCode(), status);
    const QString output = QString::fromUtf8(bridge.readAllStandardOutput() + bridge.readAllStandardError());
    QVERIFY2(output.contains(says), qPrintable(output));
}

void TestBridgeProgram::runsAsAService()
{
    koru::sim::ProjectorSim sim({});
    QVERIFY(sim.start());
    const quint16 port = freePort();
    QTemporaryDir dir;
    const QString transcript = dir.filePath(QStringLiteral("line.log"));
    Service bridge({ "--port", sim.devicePath(), "--pjlink", QStringLiteral("127.0.0.1:%1").arg(port), "--log", transcript });
    QVERIFY(bridge.notify.waitFor("READY=1"));
    koru::test::PjlinkClient client;
    QVERIFY(client.connectTo(port));
    QTRY_COMPARE(client.request("POWR ?"), QByteArray("%1POWR=0\r"));
    QVERIFY(bridge.terminate());
    QCOMPARE(bridge.process.exitCode(), 0);
    QVERIFY(bridge.notify.waitFor("STOPPING=1"));
    const QString log = QString::fromUtf8(bridge.process.readAllStandardError());
    QVERIFY2(log.contains(QStringLiteral("[projector] line %1 open").arg(sim.devicePath())), qPrintable(log));
    QVERIFY2(!log.contains(QStringLiteral("without a password")), qPrintable(log)); // loopback needs none
    QFile file(transcript);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("TX"));
}

// A projector whose line cannot be opened does not keep the bridge from
// starting; it is tried again and again, and said once.
void TestBridgeProgram::startsWithoutItsLine()
{
    Service bridge({ "--port", "/dev/koru-test-no-such-line", "--raw", QStringLiteral("127.0.0.1:%1").arg(freePort()) });
    QVERIFY(bridge.notify.waitFor("READY=1"));
    QTest::qWait(3500); // tries at 0, 1 and 3 s
    QVERIFY(bridge.terminate());
    QCOMPARE(bridge.process.exitCode(), 0);
    const QString log = QString::fromUtf8(bridge.process.readAllStandardError());
    QCOMPARE(log.count(QStringLiteral("trying again every few seconds")), 1);
    QVERIFY2(log.contains(QStringLiteral("port = in the configuration file")) && inBridgeTerms(log), qPrintable(log));
}

void TestBridgeProgram::losesItsLine()
{
    koru::sim::SimOptions options;
    options.hangUpAfterFrames = 1;
    koru::sim::ProjectorSim sim(options);
    QVERIFY(sim.start());
    Service bridge({ "--port", sim.devicePath(), "--raw", QStringLiteral("127.0.0.1:%1").arg(freePort()) });
    QVERIFY(bridge.notify.waitFor("READY=1"));
    QString log;
    QVERIFY(QTest::qWaitFor([&] {
        log += QString::fromUtf8(bridge.process.readAllStandardError());
        return log.contains(QStringLiteral("trying to reopen it"));
    }, 5000));
    QVERIFY(bridge.terminate());
    QVERIFY2(log.contains(QStringLiteral("lost: the line hung up")) && inBridgeTerms(log), qPrintable(log));
}

// SIGHUP with p0 as it was, p1 renamed, p2 removed and the broker's
// keepalive changed; then with a file that does not check.
void TestBridgeProgram::reloadsOnHangUp()
{
    koru::test::MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    std::vector<std::unique_ptr<koru::sim::ProjectorSim>> sims;
    quint16 ports[3];
    for (quint16 &port : ports) {
        sims.push_back(std::make_unique<koru::sim::ProjectorSim>(koru::sim::SimOptions {}));
        QVERIFY(sims.back()->start());
        port = freePort();
    }
    const auto section = [&](int i, const char *name) {
        return QStringLiteral("[projector p%1]\nport = %2\npjlink = 127.0.0.1:%3\nname = %4\n")
            .arg(i).arg(sims[size_t(i)]->devicePath()).arg(ports[i]).arg(QLatin1String(name));
    };
    const auto mqtt = [&](int keepalive) {
        return QStringLiteral("[mqtt]\nhost = 127.0.0.1\nport = %1\nclient-id = reloaded\nkeepalive = %2\n")
            .arg(broker.port()).arg(keepalive);
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bridge.conf"));
    QVERIFY(writeFile(path, section(0, "Kept") + section(1, "Before") + section(2, "Gone") + mqtt(60)));
    Service bridge({ "--config", path });
    QVERIFY(bridge.notify.waitFor("READY=1"));
    koru::test::PjlinkClient kept, renamed;
    QVERIFY(kept.connectTo(ports[0]) && renamed.connectTo(ports[1]));
    QTRY_COMPARE(kept.request("POWR ?"), QByteArray("%1POWR=0\r"));
    QCOMPARE(renamed.request("NAME ?"), QByteArray("%1NAME=Before\r"));
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/p2/availability"), 1, 1), QStringList("koru/p2/availability online"));

    QVERIFY(writeFile(path, section(0, "Kept") + section(1, "After") + mqtt(30)));
    bridge.signal(SIGHUP);
    QVERIFY(bridge.notify.waitFor("RELOADING=1") && bridge.notify.waitFor("READY=1"));
    QCOMPARE(kept.request("POWR ?"), QByteArray("%1POWR=0\r")); // the same connection, still answered
    QVERIFY(renamed.closedByPeer());
    koru::test::PjlinkClient again;
    QVERIFY(again.connectTo(ports[1]));
    QCOMPARE(again.request("NAME ?"), QByteArray("%1NAME=After\r"));
    QVERIFY(!koru::test::PjlinkClient().connectTo(ports[2], 500ms));
    // The old client's goodbye came before the new one's hello.
    QTRY_COMPARE_WITH_TIMEOUT(bridge.log().count(QStringLiteral("MQTT: connected")), 2, 10000);
    QTRY_COMPARE(broker.receive(QStringLiteral("koru/bridge/reloaded/#"), 2, 1).join(u'|'),
                 uR"(koru/bridge/reloaded/availability online|koru/bridge/reloaded/projectors ["p0","p1"])");
    QCOMPARE(broker.receive(QStringLiteral("koru/p2/#"), 1, 1), QStringList());
    QCOMPARE(broker.receive(QStringLiteral("homeassistant/+/koru_p2/#"), 1, 1), QStringList());

    QVERIFY(writeFile(path, QStringLiteral("[projector p0]\nsped = 1\n")));
    bridge.signal(SIGHUP);
    QVERIFY(bridge.notify.waitFor("RELOADING=1") && bridge.notify.waitFor("READY=1"));
    QCOMPARE(kept.request("POWR ?"), QByteArray("%1POWR=0\r"));
    QCOMPARE(again.request("NAME ?"), QByteArray("%1NAME=After\r"));
    QVERIFY(bridge.terminate());
    QCOMPARE(bridge.process.exitCode(), 0);
    const QString &log = bridge.log();
    for (const QString &said : { QStringLiteral("[p1] changed: restarted"), QStringLiteral("[p2] no longer configured: closed"),
                                 QStringLiteral("[mqtt] changed: the MQTT client restarts"),
                                 QStringLiteral("1 projector(s) kept, 1 restarted, 1 closed, 0 added"),
                                 QStringLiteral("reload refused, the running configuration kept: %1:2: [projector p0]: sped: unknown key").arg(path) })
        QVERIFY2(log.contains(said), qPrintable(said + QLatin1Char('\n') + log));
    QCOMPARE(log.count(QStringLiteral("[p0] line")), 1); // opened once, never again
}

QTEST_GUILESS_MAIN(TestBridgeProgram)
#include "tst_bridgeprogram.moc"
