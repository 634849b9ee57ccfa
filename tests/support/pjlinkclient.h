#pragma once

#include <QByteArray>
#include <QTcpSocket>

#include <chrono>

namespace koru::test {

// A PJLink class 1 controller of the tests' own, written from the standard:
// it reads the greeting, puts the digest of the random number and the
// password in front of its first request when the projector asks for one,
// and waits for each reply with the event loop running.
class PjlinkClient
{
public:
    // Connects to 127.0.0.1:`port` and reads the greeting.
    bool connectTo(quint16 port, std::chrono::milliseconds timeout = std::chrono::seconds(3));

    // "PJLINK 0\r" or "PJLINK 1 xxxxxxxx\r"; empty when none came.
    const QByteArray &greeting() const { return m_greeting; }

    // What goes in front of the first request: none, the right digest, or
    // one that is wrong.
    enum class Digest { Right, Wrong, Missing };
    void setPassword(const QByteArray &password, Digest digest = Digest::Right);

    // Sends "%1" + `command` + CR and returns the reply, CR included; empty
    // when none came in time.
    QByteArray request(const QByteArray &command, std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Sends `bytes` as they are and returns the next `lines` replies, each
    // with its CR; fewer when no more came in time.
    QByteArray exchange(const QByteArray &bytes, int lines = 1,
                        std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // The next CR-terminated line the projector sends, or empty.
    QByteArray readReply(std::chrono::milliseconds timeout = std::chrono::seconds(3));

    // Whether the projector has closed the connection within `timeout`.
    bool closedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(3));

    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_greeting;
    QByteArray m_password;
    Digest m_digest = Digest::Missing;
    bool m_first = true;
};

} // namespace koru::test
