#include "bridge/tcplistener.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace koru::bridge {

TcpListener::TcpListener(int maxConnections, QObject *parent)
    : QObject(parent)
    , m_maxConnections(maxConnections)
    , m_server(new QTcpServer(this))
    , m_sessions(new QObject(this))
{
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
}

bool TcpListener::admits(const QTcpSocket &) const
{
    return true;
}

void TcpListener::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (!admits(*socket) || m_connections >= m_maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        startSession(socket);
    }
}

} // namespace koru::bridge
