#pragma once

#include "bridge/bridgeconfig.h"
#include "bridge/tcplistener.h"
#include "protocol/catalogue.h"

namespace koru::line {
class ProjectorLine;
}

namespace koru::bridge {

struct RawLimits
{
    ConnectionLimits connections;
    // Frames of one connection queued on the line; past this the connection
    // is not read until the line has caught up.
    int maxQueuedFrames = 8;
    // A frame is a code and a CR: bytes without a CR beyond this are no frame.
    qsizetype maxFrame = 64;
    // Replies a client does not read are not kept without end.
    qsizetype maxUnread = 16 * 1024;
};

// The raw port: each connection sends frames as the panel does, each frame
// goes on the shared line on that connection's behalf, and the projector's
// reply bytes go back to that connection alone. The line carries one frame at
// a time, so replies of different connections never mix.
class RawServer : public TcpListener
{
    Q_OBJECT

public:
    RawServer(line::ProjectorLine *line, RawLimits limits, QObject *parent = nullptr);
    ~RawServer() override;

private:
    class Session;
    void startSession(QTcpSocket *socket, const QHostAddress &peer) override;

    line::ProjectorLine *m_line;
    RawLimits m_limits;
};

} // namespace koru::bridge
