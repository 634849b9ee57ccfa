#include "mosquittobroker.h"

#include "ser2netgateway.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace koru::test {

// Long enough for a loaded machine; every wait below is bounded by one.
constexpr int kProcessWaitMs = 5000;

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::start(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
    m_port = freeLoopbackPort();
    if (!m_dir.isValid() || m_port == 0) {
        m_error = QStringLiteral("no free loopback port or no temporary directory");
        return false;
    }
    // Started as root it would switch to its own user, who cannot read the
    // test's temporary directory: it stays the test's user.
    QString config = QStringLiteral("listener %1 127.0.0.1\npersistence false\nlog_type error\nuser %2\n")
                         .arg(m_port)
                         .arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    if (user.isEmpty()) {
        config += QStringLiteral("allow_anonymous true\n");
    } else {
        const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
        QFile::remove(passwords);
        QProcess tool;
        tool.start(QStringLiteral("mosquitto_passwd"), { QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password });
        if (!tool.waitForFinished(kProcessWaitMs) || tool.exitCode() != 0) {
            m_error = QStringLiteral("mosquitto_passwd failed: %1").arg(QString::fromLocal8Bit(tool.readAllStandardError()));
            return false;
        }
        config += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
    }
    QFile file(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return false;
    file.close();
    return launch();
}

bool MosquittoBroker::launch()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("mosquitto"), { QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf")) });
    if (!m_process.waitForStarted(kProcessWaitMs)) {
        m_error = QStringLiteral("mosquitto did not start: %1").arg(m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(kProcessWaitMs);
    while (!loopbackListening(QStringLiteral("127.0.0.1"), m_port)) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QStringLiteral("mosquitto is not listening on 127.0.0.1:%1: %2")
                          .arg(m_port).arg(QString::fromLocal8Bit(m_process.readAll()));
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

void MosquittoBroker::stop()
{
    m_process.terminate();
    if (!m_process.waitForFinished(kProcessWaitMs))
        kill();
}

bool MosquittoBroker::restart()
{
    stop();
    return launch();
}

void MosquittoBroker::kill()
{
    m_process.kill();
    m_process.waitForFinished(kProcessWaitMs);
}

QStringList MosquittoBroker::clientArguments() const
{
    QStringList arguments { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port) };
    if (!m_user.isEmpty())
        arguments << QStringLiteral("-u") << m_user << QStringLiteral("-P") << m_password;
    return arguments;
}

QStringList MosquittoBroker::receive(const QString &filter, int count, int seconds) const
{
    QProcess sub;
    sub.start(QStringLiteral("mosquitto_sub"),
              clientArguments()
                  << QStringLiteral("-v") << QStringLiteral("-t") << filter << QStringLiteral("-C")
                  << QString::number(count) << QStringLiteral("-W") << QString::number(seconds));
    // Its own -W bounds it; the event loop runs meanwhile, so a bridge in
    // this process goes on answering.
    (void)QTest::qWaitFor([&sub] { return sub.state() == QProcess::NotRunning; }, (seconds + 2) * 1000);
    QStringList lines = QString::fromUtf8(sub.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

bool MosquittoBroker::publish(const QString &topic, const QByteArray &payload, bool retain) const
{
    QProcess pub;
    // An empty message goes as -n: that is what clears a retained one.
    const QStringList message = payload.isEmpty() ? QStringList { QStringLiteral("-n") }
                                                  : QStringList { QStringLiteral("-m"), QString::fromUtf8(payload) };
    pub.start(QStringLiteral("mosquitto_pub"), clientArguments() << QStringLiteral("-t") << topic << message
                                                                  << (retain ? QStringList(QStringLiteral("-r")) : QStringList()));
    return pub.waitForFinished(kProcessWaitMs) && pub.exitStatus() == QProcess::NormalExit && pub.exitCode() == 0;
}

} // namespace koru::test
