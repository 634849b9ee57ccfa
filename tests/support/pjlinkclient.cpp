#include "support/pjlinkclient.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QTest>

namespace koru::test {

bool PjlinkClient::connectTo(quint16 port, std::chrono::milliseconds timeout)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    m_greeting = readReply(timeout);
    m_first = true;
    return !m_greeting.isEmpty();
}

void PjlinkClient::setPassword(const QByteArray &password, Digest digest)
{
    m_password = password;
    m_digest = digest;
}

QByteArray PjlinkClient::request(const QByteArray &command, std::chrono::milliseconds timeout)
{
    QByteArray line;
    const bool asked = m_greeting.startsWith("PJLINK 1 ");
    if (m_first && asked && m_digest != Digest::Missing) {
        // The random number is the 8 characters after "PJLINK 1 ".
        const QByteArray random = m_greeting.mid(9, 8);
        const QByteArray secret = m_digest == Digest::Right ? m_password : m_password + "x";
        line = QCryptographicHash::hash(random + secret, QCryptographicHash::Md5).toHex();
    }
    m_first = false;
    line += "%1" + command + '\r';
    return exchange(line, 1, timeout);
}

QByteArray PjlinkClient::exchange(const QByteArray &bytes, int lines, std::chrono::milliseconds timeout)
{
    m_socket.write(bytes);
    QByteArray replies;
    for (int i = 0; i < lines; ++i) {
        const QByteArray reply = readReply(timeout);
        if (reply.isEmpty())
            break;
        replies += reply;
    }
    return replies;
}

QByteArray PjlinkClient::readReply(std::chrono::milliseconds timeout)
{
    QByteArray line;
    (void)QTest::qWaitFor(
        [&] {
            while (m_socket.bytesAvailable() > 0) {
                char c;
                m_socket.getChar(&c);
                line += c;
                if (c == '\r')
                    return true;
            }
            return false;
        },
        int(timeout.count()));
    return line.endsWith('\r') ? line : QByteArray();
}

bool PjlinkClient::closedByPeer(std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; },
                           int(timeout.count()));
}

} // namespace koru::test
