#include "bridge/rawserver.h"

#include "line/projectorline.h"

#include <QTcpSocket>

namespace koru::bridge {

class RawServer::Session : public QObject
{
public:
    Session(RawServer *server, QTcpSocket *socket, const QHostAddress &peer)
        : QObject(server->sessionParent())
        , m_server(server)
        , m_socket(socket)
        , m_peer(peer)
    {
        socket->setParent(this);
        // Qt stops taking bytes from the kernel when this is full, so a
        // client that sends faster than the line carries is held back by TCP.
        socket->setReadBufferSize(server->m_limits.maxFrame * server->m_limits.maxQueuedFrames);
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadable(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        onReadable();
    }

private:
    void onReadable()
    {
        const RawLimits &limits = m_server->m_limits;
        while (m_queued < limits.maxQueuedFrames && !m_finished) {
            const qsizetype cr = m_partial.indexOf('\r');
            if (cr >= 0) {
                submit(m_partial.left(cr + 1));
                m_partial.remove(0, cr + 1);
                continue;
            }
            if (m_partial.size() > limits.maxFrame) {
                emit m_server->notice(QStringLiteral("raw: %1 sent %2 bytes without a CR; disconnected")
                                          .arg(m_peer.toString())
                                          .arg(m_partial.size()));
                m_socket->abort();
                finish();
                return;
            }
            const QByteArray more = m_socket->read(limits.maxFrame + 1 - m_partial.size());
            if (more.isEmpty())
                return;
            m_partial += more;
        }
    }

    void submit(const QByteArray &frame)
    {
        ++m_queued;
        m_server->m_line->submit(this, frame, [this](const line::Result &result) {
            --m_queued;
            if (!result.reply.isEmpty() && m_socket->state() == QAbstractSocket::ConnectedState) {
                if (m_socket->bytesToWrite() > m_server->m_limits.maxUnread) {
                    emit m_server->notice(QStringLiteral("raw: %1 reads no replies; disconnected")
                                              .arg(m_peer.toString()));
                    m_socket->abort();
                    finish();
                    return;
                }
                m_socket->write(result.reply);
            }
            onReadable();
        });
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_server->sessionEnded(m_peer);
        // Going, the session takes its queued frames off the line with it.
        deleteLater();
    }

    RawServer *m_server;
    QTcpSocket *m_socket;
    QHostAddress m_peer;
    QByteArray m_partial;
    int m_queued = 0;
    bool m_finished = false;
};

RawServer::RawServer(line::ProjectorLine *line, RawLimits limits, QObject *parent)
    : TcpListener(QStringLiteral("raw"), limits.connections, parent)
    , m_line(line)
    , m_limits(limits)
{
}

RawServer::~RawServer() = default;

void RawServer::startSession(QTcpSocket *socket, const QHostAddress &peer)
{
    new Session(this, socket, peer);
}

} // namespace koru::bridge
