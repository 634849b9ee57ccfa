#include "bridge/pjlink/pjlinkserver.h"

#include "bridge/projectormodel.h"

#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace koru::bridge {

// What every kind of connection does with its socket: owns it, reads no more
// of it into memory than the limits allow, and tells the listener once when
// it has ended.
class PjlinkServer::Connection : public QObject
{
public:
    Connection(PjlinkServer *server, QTcpSocket *socket, const QHostAddress &peer)
        : QObject(server->sessionParent())
        , m_server(server)
        , m_socket(socket)
        , m_peer(peer)
    {
        socket->setParent(this);
        // Qt takes no more from the kernel than this until it is read, so
        // what the session leaves unread waits in TCP, at the client's cost.
        socket->setReadBufferSize(server->m_limits.readBuffer);
        connect(socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        m_linger.setSingleShot(true);
        m_linger.setInterval(limits().idle);
        connect(&m_linger, &QTimer::timeout, this, [this] {
            m_socket->abort();
            finish();
        });
    }

protected:
    const PjlinkLimits &limits() const { return m_server->m_limits; }

    void hangUp()
    {
        if (m_closing)
            return;
        m_closing = true;
        // What was written still goes out before the close; to a client
        // that reads nothing it never would, and the place it holds is cut
        // free after the idle time.
        m_socket->disconnectFromHost();
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            finish();
        else
            m_linger.start();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_closing = true;
        m_server->sessionEnded(m_peer);
        deleteLater();
    }

    PjlinkServer *m_server;
    QTcpSocket *m_socket;
    const QHostAddress m_peer;
    bool m_closing = false;

private:
    QTimer m_linger;
    bool m_finished = false;
};

// One controller's connection: the greeting, the authentication of the first
// request, then its requests in order, each answered once those before it are.
class PjlinkServer::Session : public Connection
{
public:
    Session(PjlinkServer *server, QTcpSocket *socket, const QHostAddress &peer)
        : Connection(server, socket, peer)
        , m_mustAuthenticate(!server->m_password.isEmpty())
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(limits().idle);
        connect(&m_idle, &QTimer::timeout, this, [this] { hangUp(); });
        connect(socket, &QTcpSocket::readyRead, this, [this] { pump(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        if (m_mustAuthenticate)
            m_random = pjlink::newRandom();
        m_socket->write(pjlink::greeting(m_random));
        m_idle.start();
    }

private:
    // A request taken, and its answer once it is known.
    struct Pending
    {
        pjlink::Request request;
        std::optional<QByteArray> answer;
    };

    qsizetype lineLimit() const
    {
        return pjlink::kMaxLine + (m_mustAuthenticate ? pjlink::kDigestLength : 0);
    }

    // Takes every complete line there is, in order, for as long as the
    // replies leave; past maxUnsent it goes on at the next bytesWritten.
    void pump()
    {
        while (!m_closing && m_socket->bytesToWrite() <= limits().maxUnsent) {
            // Controllers that end their lines with CR LF: the LF is no part
            // of the next line.
            if (m_afterCr && !m_buffer.isEmpty()) {
                if (m_buffer.startsWith('\n'))
                    m_buffer.remove(0, 1);
                m_afterCr = false;
            }
            const qsizetype cr = m_buffer.indexOf('\r');
            if (cr >= 0) {
                const QByteArray line = m_buffer.left(cr);
                m_buffer.remove(0, cr + 1);
                m_afterCr = true;
                take(line);
                continue;
            }
            // Without a CR within the longest line the standard allows, it is
            // no controller talking.
            if (m_buffer.size() >= lineLimit()) {
                hangUp();
                return;
            }
            const QByteArray more = m_socket->read(lineLimit() - m_buffer.size());
            if (more.isEmpty())
                return;
            m_buffer += more;
        }
    }

    void take(const QByteArray &line)
    {
        // An empty line is no request, and is passed over: controllers send
        // a bare CR to flush or to end their lines twice, and expect neither
        // a reply, which would put their replies out of step, nor a close.
        // Nor does it count as asking something against the idle time.
        if (line.isEmpty())
            return;
        const pjlink::ReadLine read = pjlink::readLine(line, m_mustAuthenticate);
        if (m_mustAuthenticate && !authenticate(read))
            return;
        if (read.request) {
            enqueue({ *read.request, std::nullopt });
            return;
        }
        if (read.malformed) {
            if (const std::optional<QByteArray> answer = pjlink::malformedAnswer(*read.malformed)) {
                enqueue({ read.malformed->request, answer });
                return;
            }
        }
        // No PJLink at all: whoever it is, it is no controller.
        hangUp();
    }

    bool authenticate(const pjlink::ReadLine &read)
    {
        m_mustAuthenticate = false;
        const QByteArray expected = pjlink::digest(m_random, m_server->m_password);
        if ((read.request || read.malformed) && pjlink::digestMatches(read.digest, expected))
            return true;
        AuthFailures &failures = m_server->m_failures;
        failures.recordFailure(m_peer, m_server->now());
        if (failures.isBlocked(m_peer, m_server->now()))
            emit m_server->notice(QStringLiteral("PJLink: %1 failed to authenticate too often; "
                                                 "its connections are answered PJLINK ERRA for a while")
                                      .arg(m_peer.toString()));
        m_socket->write(pjlink::authenticationError());
        hangUp();
        return false;
    }

    void enqueue(Pending pending)
    {
        if (int(m_queue.size()) >= limits().maxQueued) {
            // Told at once that now is no time, rather than left waiting
            // behind all that the line still owes this connection.
            m_socket->write(pjlink::reply(pending.request, pjlink::errorText(pjlink::Error::NotPossibleNow)));
            return;
        }
        m_queue.push_back(std::move(pending));
        serve();
    }

    // Answers from the front of the queue until it is empty or its front
    // waits for the line.
    void serve()
    {
        while (!m_closing && !m_onTheLine && !m_queue.empty()) {
            Pending &front = m_queue.front();
            if (!front.answer) {
                // Decided only now, so that a query behind a command sees
                // what the command did.
                pjlink::Decision decision
                    = pjlink::decide(front.request, m_server->m_model->state(), m_server->m_identity);
                if (decision.operation) {
                    carryOut(*decision.operation);
                    return;
                }
                front.answer = decision.answer;
            }
            m_socket->write(pjlink::reply(front.request, *front.answer));
            m_queue.pop_front();
        }
        if (!m_closing && m_queue.empty())
            m_idle.start();
    }

    void carryOut(const pjlink::Operation &operation)
    {
        m_onTheLine = true;
        // However long the line takes, the controller is waiting, not silent.
        m_idle.stop();
        const auto answer = [this](const CommandResult &result) {
            m_onTheLine = false;
            m_queue.front().answer = pjlink::outcomeAnswer(result.outcome);
            serve();
            pump();
        };
        ProjectorModel *model = m_server->m_model;
        std::visit(
            [&](const auto &op) {
                using T = std::decay_t<decltype(op)>;
                if constexpr (std::is_same_v<T, pjlink::PowerOperation>)
                    model->setPower(op.on, this, answer);
                else if constexpr (std::is_same_v<T, pjlink::InputOperation>)
                    model->setInput(op.input, this, answer);
                else
                    model->setMutes(op.video, op.audio, this, answer);
            },
            operation);
    }

    QTimer m_idle;
    QByteArray m_random; // empty: no authentication
    QByteArray m_buffer; // less than one line
    std::deque<Pending> m_queue; // the front is on the line while m_onTheLine
    bool m_mustAuthenticate;
    bool m_afterCr = false;
    bool m_onTheLine = false;
};

// A connection from an address shut out for guessing passwords: after a
// pause, "PJLINK ERRA" in place of the greeting, then the close. A client
// that reconnects at every close, as some do, then does so once a pause.
class PjlinkServer::ShutOut : public Connection
{
public:
    ShutOut(PjlinkServer *server, QTcpSocket *socket, const QHostAddress &peer)
        : Connection(server, socket, peer)
    {
        m_pause.setSingleShot(true);
        m_pause.setTimerType(Qt::PreciseTimer); // never shorter than said
        m_pause.setInterval(limits().shutOutPause);
        connect(&m_pause, &QTimer::timeout, this, [this] {
            m_socket->write(pjlink::authenticationError());
            hangUp();
        });
        m_pause.start();
    }

private:
    QTimer m_pause;
};

PjlinkServer::PjlinkServer(ProjectorModel *model, pjlink::Identity identity, QByteArray password,
                           PjlinkLimits limits, QObject *parent)
    : TcpListener(QStringLiteral("PJLink"), limits.connections, parent)
    , m_model(model)
    , m_identity(std::move(identity))
    , m_password(std::move(password))
    , m_limits(limits)
    , m_failures(limits.auth)
{
}

PjlinkServer::~PjlinkServer() = default;

void PjlinkServer::startSession(QTcpSocket *socket, const QHostAddress &peer)
{
    if (!m_failures.isBlocked(peer, now())) {
        new Session(this, socket, peer);
        return;
    }
    if (m_shutOutNotices.due(peer, now()))
        emit notice(QStringLiteral("PJLink: %1 is shut out for failed authentications: its connections are "
                                   "answered PJLINK ERRA after %2 ms and closed; logged once a minute")
                        .arg(peer.toString())
                        .arg(m_limits.shutOutPause.count()));
    new ShutOut(this, socket, peer);
}

} // namespace koru::bridge
