#pragma once

#include "bridge/authfailures.h"
#include "bridge/bridgeconfig.h"
#include "bridge/pjlinkmapping.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace koru::bridge {

class ProjectorModel;

struct PjlinkLimits
{
    // A controller that says nothing this long is hung up on, as the
    // standard's projectors do.
    Millis idle { 30s };
    int maxConnections = kDefaultMaxConnections;
    AuthLimits auth;
};

// The PJLink class 1 server of one projector. Every query is answered from
// the model; a set command goes to the model, and its outcome is the answer.
// A connection handles one request at a time, in the order they came.
class PjlinkServer : public QObject
{
    Q_OBJECT

public:
    // An empty `password`: no authentication.
    PjlinkServer(ProjectorModel *model, pjlink::Identity identity, QByteArray password, PjlinkLimits limits,
                 QObject *parent = nullptr);
    ~PjlinkServer() override;

    bool listen(const ListenAddress &address, QString *error);
    void close();
    // The port listened on (the one chosen when 0 was asked for).
    quint16 serverPort() const;
    int connectionCount() const { return m_connections; }

signals:
    // Something the operator should see in the log.
    void notice(const QString &text);

private:
    class Session;
    void onNewConnection();

    ProjectorModel *m_model;
    pjlink::Identity m_identity;
    QByteArray m_password;
    PjlinkLimits m_limits;
    AuthFailures m_failures;
    QElapsedTimer m_clock;
    QTcpServer *m_server;
    QObject *m_sessions; // parent of every connection's session
    int m_connections = 0;
};

} // namespace koru::bridge
