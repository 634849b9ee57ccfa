#include "bridge/tcplistener.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace koru::bridge {

TcpListener::TcpListener(QString name, ConnectionLimits limits, QObject *parent)
    : QObject(parent)
    , m_name(std::move(name))
    , m_limits(limits)
    , m_server(new QTcpServer(this))
    , m_sessions(new QObject(this))
{
    m_clock.start();
    connect(m_server, &QTcpServer::newConnection, this, &TcpListener::onNewConnection);
}

TcpListener::~TcpListener() = default;

bool TcpListener::listen(const ListenAddress &address, QString *error)
{
    if (m_server->listen(address.host, address.port))
        return true;
    *error = m_server->errorString();
    return false;
}

quint16 TcpListener::serverPort() const
{
    return m_server->serverPort();
}

void TcpListener::close()
{
    m_server->close();
    qDeleteAll(m_sessions->children());
    m_connections = 0;
    m_perAddress.clear();
}

qint64 TcpListener::bufferedBytes() const
{
    qint64 bytes = 0;
    for (const QTcpSocket *socket : m_sessions->findChildren<QTcpSocket *>())
        bytes += socket->bytesAvailable() + socket->bytesToWrite();
    return bytes;
}

void TcpListener::sessionEnded(const QHostAddress &peer)
{
    --m_connections;
    const auto found = m_perAddress.find(peer);
    if (found != m_perAddress.end() && --*found <= 0)
        m_perAddress.erase(found);
}

void TcpListener::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        if (m_connections >= m_limits.total) {
            refuse(socket, peer,
                   QStringLiteral("%1 connections are open, the most it takes (max-connections)").arg(m_connections));
            continue;
        }
        int &fromPeer = m_perAddress[peer];
        if (fromPeer >= m_limits.perAddress) {
            refuse(socket, peer,
                   QStringLiteral("%1 of its connections are open, the most one address may have "
                                  "(max-connections-per-address)")
                       .arg(fromPeer));
            continue;
        }
        ++fromPeer;
        ++m_connections;
        startSession(socket, peer);
    }
}

void TcpListener::refuse(QTcpSocket *socket, const QHostAddress &peer, const QString &why)
{
    socket->abort();
    socket->deleteLater();
    if (m_refusalNotices.due(peer, now()))
        emit notice(QStringLiteral("%1: refused a connection from %2: %3; its refusals are logged once a minute")
                        .arg(m_name, peer.toString(), why));
}

} // namespace koru::bridge
