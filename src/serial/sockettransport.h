#pragma once

#include "serial/portaddress.h"
#include "serial/transport.h"

#include <QDeadlineTimer>

class QTcpSocket;

namespace koru {

// What the two network transports share: the bounded connect, its failure
// messages, and noticing that the gateway or the network closed the
// connection.
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
    // Connects within the deadline; the failure says what to check.
    CommResult connectSocket(const QDeadlineTimer &deadline);
    // Emits lost() once per connection.
    void reportLoss(const QString &reason);
    QTcpSocket *socket() const { return m_socket; }
    const PortAddress &address() const { return m_address; }

private:
    QString connectFailure() const;

    PortAddress m_address;
    QTcpSocket *m_socket;
    bool m_connected = false;
};

// Raw TCP: bytes cross as they are. The line settings are the gateway's own.
class TcpTransport final : public SocketTransport
{
    Q_OBJECT

public:
    using SocketTransport::SocketTransport;

    CommResult open(const LineSettings &settings) override;
    CommResult write(const QByteArray &bytes) override;
    QByteArray read() override;
    qint64 bytesAvailable() const override;
    CommResult applySettings(const LineSettings &settings) override;
};

} // namespace koru
