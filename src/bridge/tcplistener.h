#pragma once

#include "bridge/addressnotices.h"
#include "bridge/bridgeconfig.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace koru::bridge {

// How many connections a listener takes at once: in all, and from any one
// address, so that one machine cannot take every place.
struct ConnectionLimits
{
    int total = kDefaultMaxConnections;
    int perAddress = kDefaultMaxConnectionsPerAddress;
};

// A TCP listener that takes connections within its limits and hands each one
// it takes to the server built on it, which makes a session of it. One beyond
// a limit is closed at once, and said in the log once a minute per address.
// close() stops listening and ends every session.
class TcpListener : public QObject
{
    Q_OBJECT

public:
    // `name` begins its notices: "PJLink", "raw".
    TcpListener(QString name, ConnectionLimits limits, QObject *parent);
    ~TcpListener() override;

    bool listen(const ListenAddress &address, QString *error);
    void close();
    // The port listened on (the one chosen when 0 was asked for).
    quint16 serverPort() const;
    int connectionCount() const { return m_connections; }
    // What the connections hold in memory: read and not yet taken, written
    // and not yet sent.
    qint64 bufferedBytes() const;

signals:
    // Something the operator should see in the log.
    void notice(const QString &text);

protected:
    // Makes the session of `socket`, from `peer`, a child of sessionParent();
    // the session calls sessionEnded() once when its connection ends.
    virtual void startSession(QTcpSocket *socket, const QHostAddress &peer) = 0;

    // Parent of every connection's session, so that close() ends them all.
    QObject *sessionParent() const { return m_sessions; }
    void sessionEnded(const QHostAddress &peer);
    const QString &name() const { return m_name; }
    // The listener's monotonic clock, for the rules kept per address.
    Millis now() const { return Millis(m_clock.elapsed()); }

private:
    void onNewConnection();
    void refuse(QTcpSocket *socket, const QHostAddress &peer, const QString &why);

    QString m_name;
    ConnectionLimits m_limits;
    QTcpServer *m_server;
    QObject *m_sessions;
    int m_connections = 0;
    QHash<QHostAddress, int> m_perAddress; // only addresses with a connection open
    AddressNotices m_refusalNotices;
    QElapsedTimer m_clock;
};

} // namespace koru::bridge
