#pragma once

#include "serial/portaddress.h"
#include "serial/transport.h"

class QTcpSocket;
class QTimer;

namespace koru {

// What the two network transports share: the connect, driven by the socket's
// signals and bounded by one timer, its failure messages, and noticing that
// the gateway or the network closed the connection. A host name is looked up
// by the socket, without waiting.
class SocketTransport : public Transport
{
    Q_OBJECT

public:
    SocketTransport(const PortAddress &address, QObject *parent);
    ~SocketTransport() override;

    void close() override;
    bool isOpen() const override;
    int nativeHandle() const override;

protected:
    // Starts the connect; kConnectTimeout bounds it together with whatever
    // connectionMade() goes on to do.
    void startConnect();
    // The connection is made: the open goes on from here. The default ends it.
    virtual void connectionMade() { finishOpen(); }
    // Why an open that had its connection did not end: the gateway closed the
    // connection, or the time ran out.
    virtual QString unfinishedOpenFailure();
    // The open ends, well or not; each emits its signal once per open.
    void finishOpen();
    void failOpen(const QString &reason);
    bool opening() const { return m_opening; }
    // Emits lost() once per connection.
    void reportLoss(const QString &reason);
    QTcpSocket *socket() const { return m_socket; }
    const PortAddress &address() const { return m_address; }

private:
    QString connectFailure() const;
    void onSocketGone();

    PortAddress m_address;
    QTcpSocket *m_socket;
    QTimer *m_openTimer;
    bool m_opening = false;
    bool m_reached = false; // this open's connection was made
    bool m_connected = false;
};

// Raw TCP: bytes cross as they are. The line settings are the gateway's own.
class TcpTransport final : public SocketTransport
{
    Q_OBJECT

public:
    using SocketTransport::SocketTransport;

    void open(const LineSettings &settings) override;
    CommResult write(const QByteArray &bytes) override;
    QByteArray read() override;
    qint64 bytesAvailable() const override;
    CommResult applySettings(const LineSettings &settings) override;
};

} // namespace koru
