#include "ser2netgateway.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

namespace koru::test {

quint16 freeLoopbackPort(const QString &loopback, quint16 other)
{
    // Binding port 0 lets the kernel pick one; it is free again once the
    // server closes, and stays so long enough for the gateway to take it.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress(loopback), 0))
            return 0;
        if (probe.serverPort() != other)
            return probe.serverPort();
    }
    return 0;
}

Ser2NetGateway::~Ser2NetGateway()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(2000))
            kill();
    }
}

bool Ser2NetGateway::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ser2net"), { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin") })
                .isEmpty();
}

bool Ser2NetGateway::start(const QString &devicePath, Mode mode, const QString &loopback, bool twin)
{
    m_mode = mode;
    m_loopback = loopback;
    m_port = freeLoopbackPort(loopback);
    m_twinPort = twin ? freeLoopbackPort(loopback, m_port) : 0;
    if (!m_dir.isValid() || m_port == 0 || (twin && m_twinPort == 0)) {
        m_error = QStringLiteral("no free loopback port or no temporary directory");
        return false;
    }
    const auto connection = [&](const QString &name, Mode kind, quint16 port) {
        const QString accepter = kind == Mode::Rfc2217 ? QStringLiteral("telnet(rfc2217),tcp") : QStringLiteral("tcp");
        return QStringLiteral("connection: &%1\n"
                              "  accepter: %2,%3,%4\n"
                              "  connector: serialdev,%5,19200n81,local\n"
                              "  options:\n"
                              "    kickolduser: true\n"
                              "    chardelay: false\n"
                              "    mdns: false\n")
            .arg(name, accepter, loopback)
            .arg(port)
            .arg(devicePath);
    };
    QString config = connection(QStringLiteral("koru"), mode, m_port);
    if (twin)
        config += connection(QStringLiteral("koru-twin"), mode == Mode::Rfc2217 ? Mode::RawTcp : Mode::Rfc2217, m_twinPort);
    const QString configPath = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(configPath);
        return false;
    }
    file.close();

    // -n: stay in the foreground, -u: no UUCP lock files, -c: only this file.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("ser2net"), { QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), configPath });
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("ser2net did not start: %1").arg(m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(5000);
    while (!loopbackListening(m_loopback, m_port)) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QStringLiteral("ser2net is not listening on %1: %2")
                          .arg(address(), QString::fromLocal8Bit(m_process.readAll()));
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

bool loopbackListening(const QString &loopback, quint16 port)
{
    const bool v6 = loopback.contains(u':');
    QFile table(v6 ? QStringLiteral("/proc/net/tcp6") : QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray hexPort = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QByteArray local = (v6 ? QByteArray("00000000000000000000000001000000:") : QByteArray("0100007F:")) + hexPort;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A") // 0A: LISTEN
            return true;
    }
    return false;
}

QString Ser2NetGateway::address() const
{
    const QString host = m_loopback.contains(u':') ? u'[' + m_loopback + u']' : m_loopback;
    return QStringLiteral("%1://%2:%3")
        .arg(m_mode == Mode::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp"), host)
        .arg(m_port);
}

QString Ser2NetGateway::twinAddress() const
{
    const QString host = m_loopback.contains(u':') ? u'[' + m_loopback + u']' : m_loopback;
    return QStringLiteral("%1://%2:%3")
        .arg(m_mode == Mode::Rfc2217 ? QStringLiteral("tcp") : QStringLiteral("rfc2217"), host)
        .arg(m_twinPort);
}

void Ser2NetGateway::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(2000);
}

} // namespace koru::test
