#pragma once

#include "bridge/bridgeconfig.h"

#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace koru::bridge {

// A TCP listener that takes at most `maxConnections` connections at once and
// hands each one it takes to the server built on it, which makes a session of
// it. One beyond the limit, or one the server does not admit, is closed at
// once. close() stops listening and ends every session.
class TcpListener : public QObject
{
    Q_OBJECT

public:
    TcpListener(int maxConnections, QObject *parent);
    ~TcpListener() override;

    bool listen(const ListenAddress &address, QString *error);
    void close();
    // The port listened on (the one chosen when 0 was asked for).
    quint16 serverPort() const;
    int connectionCount() const { return m_connections; }

protected:
    // Whether a connection from this socket's peer may come in at all.
    virtual bool admits(const QTcpSocket &socket) const;
    // Makes the session of `socket`, a child of sessionParent(); the session
    // calls sessionEnded() once when its connection ends.
    virtual void startSession(QTcpSocket *socket) = 0;

    // Parent of every connection's session, so that close() ends them all.
    QObject *sessionParent() const { return m_sessions; }
    void sessionEnded() { --m_connections; }

private:
    void onNewConnection();

    int m_maxConnections;
    QTcpServer *m_server;
    QObject *m_sessions;
    int m_connections = 0;
};

} // namespace koru::bridge
