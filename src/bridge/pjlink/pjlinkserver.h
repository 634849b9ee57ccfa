#pragma once

#include "bridge/pjlink/authfailures.h"
#include "bridge/bridgeconfig.h"
#include "bridge/pjlink/pjlinkmapping.h"
#include "bridge/tcplistener.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <chrono>

namespace koru::bridge {

class ProjectorModel;

struct PjlinkLimits
{
    // A controller that says nothing this long is hung up on, as the
    // standard's projectors do.
    Millis idle { std::chrono::seconds(30) };
    int maxConnections = kDefaultMaxConnections;
    AuthLimits auth;
};

// The PJLink class 1 server of one projector. Every query is answered from
// the model; a set command goes to the model, and its outcome is the answer.
// A connection handles one request at a time, in the order they came.
class PjlinkServer : public TcpListener
{
    Q_OBJECT

public:
    // An empty `password`: no authentication.
    PjlinkServer(ProjectorModel *model, pjlink::Identity identity, QByteArray password, PjlinkLimits limits,
                 QObject *parent = nullptr);
    ~PjlinkServer() override;

signals:
    // Something the operator should see in the log.
    void notice(const QString &text);

private:
    class Session;
    // A password guesser's connections are refused while it is shut out.
    bool admits(const QTcpSocket &socket) const override;
    void startSession(QTcpSocket *socket) override;

    ProjectorModel *m_model;
    pjlink::Identity m_identity;
    QByteArray m_password;
    PjlinkLimits m_limits;
    AuthFailures m_failures;
    QElapsedTimer m_clock;
};

} // namespace koru::bridge
