#pragma once

#include "bridge/addressnotices.h"
#include "bridge/bridgeconfig.h"
#include "bridge/pjlink/authfailures.h"
#include "bridge/pjlink/pjlinkmapping.h"
#include "bridge/tcplistener.h"

#include <QByteArray>

#include <chrono>

namespace koru::bridge {

class ProjectorModel;

struct PjlinkLimits
{
    // A controller that asks nothing this long is hung up on, as the
    // standard's projectors do; a request waiting for the line is no silence.
    Millis idle { std::chrono::seconds(30) };
    ConnectionLimits connections;
    AuthLimits auth;
    // Requests of one connection in hand at once, the one on the line
    // included; one more is answered ERR3 at once instead of waiting too.
    int maxQueued = 4;
    // What Qt takes from the kernel for a connection before the session has
    // read it.
    qint64 readBuffer = 1024;
    // Replies not yet sent past which a connection is not read until they
    // have gone: a controller that never reads holds itself back, not the
    // bridge's memory.
    qint64 maxUnsent = 4096;
    // How long a shut-out address waits for its "PJLINK ERRA", so that a
    // client which reconnects at once cannot spin.
    Millis shutOutPause { std::chrono::seconds(1) };
};

// The PJLink class 1 server of one projector. Every query is answered from
// the model; a set command goes to the model, and its outcome is the answer.
// A connection's requests are answered one at a time, in the order they came.
class PjlinkServer : public TcpListener
{
    Q_OBJECT

public:
    // An empty `password`: no authentication.
    PjlinkServer(ProjectorModel *model, pjlink::Identity identity, QByteArray password, PjlinkLimits limits,
                 QObject *parent = nullptr);
    ~PjlinkServer() override;

private:
    class Connection;
    class Session;
    class ShutOut;
    // A password guesser's connections get a ShutOut while it is shut out.
    void startSession(QTcpSocket *socket, const QHostAddress &peer) override;

    ProjectorModel *m_model;
    pjlink::Identity m_identity;
    QByteArray m_password;
    PjlinkLimits m_limits;
    AuthFailures m_failures;
    AddressNotices m_shutOutNotices;
};

} // namespace koru::bridge
