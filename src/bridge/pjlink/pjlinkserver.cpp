#include "bridge/pjlink/pjlinkserver.h"

#include "bridge/projectormodel.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace koru::bridge {

// One controller's connection: the greeting, the authentication of the first
// request, then requests answered one at a time.
class PjlinkServer::Session : public QObject
{
public:
    Session(PjlinkServer *server, QTcpSocket *socket)
        : QObject(server->sessionParent())
        , m_server(server)
        , m_socket(socket)
        , m_mustAuthenticate(!server->m_password.isEmpty())
    {
        socket->setParent(this);
        m_idle.setSingleShot(true);
        m_idle.setInterval(server->m_limits.idle);
        connect(&m_idle, &QTimer::timeout, this, [this] { hangUp(); });
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadable(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        if (m_mustAuthenticate)
            m_random = pjlink::newRandom();
        m_socket->write(pjlink::greeting(m_random));
        m_idle.start();
    }

private:
    qsizetype lineLimit() const
    {
        return pjlink::kMaxLine + (m_mustAuthenticate ? pjlink::kDigestLength : 0);
    }

    void onReadable()
    {
        if (m_closing)
            return;
        m_buffer += m_socket->read(qMax<qsizetype>(0, lineLimit() - m_buffer.size() + 1));
        for (qsizetype cr; !m_busy && !m_closing && (cr = m_buffer.indexOf('\r')) >= 0;) {
            const QByteArray line = m_buffer.left(cr);
            m_buffer.remove(0, cr + 1);
            m_idle.start();
            handle(line);
        }
        // Without a CR within the longest line the standard allows, it is no
        // controller talking.
        if (!m_closing && !m_busy && m_buffer.size() >= lineLimit())
            hangUp();
    }

    void handle(const QByteArray &line)
    {
        const pjlink::ReadLine read = pjlink::readLine(line, m_mustAuthenticate);
        if (m_mustAuthenticate) {
            m_mustAuthenticate = false;
            const QByteArray expected = pjlink::digest(m_random, m_server->m_password);
            if (!read.request || !pjlink::digestMatches(read.digest, expected)) {
                const QHostAddress peer = m_socket->peerAddress();
                m_server->m_failures.recordFailure(peer, Millis(m_server->m_clock.elapsed()));
                if (m_server->m_failures.isBlocked(peer, Millis(m_server->m_clock.elapsed())))
                    emit m_server->notice(QStringLiteral("PJLink: %1 failed to authenticate too often; "
                                                         "its connections are refused for a while")
                                              .arg(peer.toString()));
                m_socket->write(pjlink::authenticationError());
                hangUp();
                return;
            }
        }
        if (!read.request) {
            hangUp();
            return;
        }
        const pjlink::Request request = *read.request;
        pjlink::Decision decision = pjlink::decide(request, m_server->m_model->state(), m_server->m_identity);
        if (!decision.operation) {
            m_socket->write(pjlink::reply(request, decision.answer));
            return;
        }
        m_busy = true;
        const auto answer = [this, request](const CommandResult &result) {
            m_busy = false;
            m_socket->write(pjlink::reply(request, pjlink::outcomeAnswer(result.outcome)));
            onReadable();
        };
        ProjectorModel *model = m_server->m_model;
        std::visit(
            [&](const auto &operation) {
                using T = std::decay_t<decltype(operation)>;
                if constexpr (std::is_same_v<T, pjlink::PowerOperation>)
                    model->setPower(operation.on, this, answer);
                else if constexpr (std::is_same_v<T, pjlink::InputOperation>)
                    model->setInput(operation.input, this, answer);
                else
                    model->setMutes(operation.video, operation.audio, this, answer);
            },
            *decision.operation);
    }

    void hangUp()
    {
        if (m_closing)
            return;
        m_closing = true;
        m_idle.stop();
        // What was written still goes out before the close.
        m_socket->disconnectFromHost();
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            finish();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_closing = true;
        m_server->sessionEnded();
        deleteLater();
    }

    PjlinkServer *m_server;
    QTcpSocket *m_socket;
    QTimer m_idle;
    QByteArray m_random; // empty: no authentication
    QByteArray m_buffer;
    bool m_mustAuthenticate;
    bool m_busy = false;
    bool m_closing = false;
    bool m_finished = false;
};

PjlinkServer::PjlinkServer(ProjectorModel *model, pjlink::Identity identity, QByteArray password,
                           PjlinkLimits limits, QObject *parent)
    : TcpListener(limits.maxConnections, parent)
    , m_model(model)
    , m_identity(std::move(identity))
    , m_password(std::move(password))
    , m_limits(limits)
    , m_failures(limits.auth)
{
    m_clock.start();
}

PjlinkServer::~PjlinkServer() = default;

bool PjlinkServer::admits(const QTcpSocket &socket) const
{
    return !m_failures.isBlocked(socket.peerAddress(), Millis(m_clock.elapsed()));
}

void PjlinkServer::startSession(QTcpSocket *socket)
{
    new Session(this, socket);
}

} // namespace koru::bridge
