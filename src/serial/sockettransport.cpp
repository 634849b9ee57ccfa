#include "serial/sockettransport.h"

#include <QTcpSocket>

namespace koru {

SocketTransport::SocketTransport(const PortAddress &address, QObject *parent)
    : Transport(parent)
    , m_address(address)
    , m_socket(new QTcpSocket(this))
{
    // Qt stops taking bytes from the kernel once this much waits unread: TCP
    // then holds the gateway back, and nothing is dropped.
    m_socket->setReadBufferSize(kReadBufferSize);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        reportLoss(QStringLiteral("the gateway or the network closed the connection"));
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError || error == QAbstractSocket::NetworkError
            || error == QAbstractSocket::SocketTimeoutError)
            reportLoss(QStringLiteral("the gateway or the network closed the connection"));
    });
}

SocketTransport::~SocketTransport()
{
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
}

CommResult SocketTransport::connectSocket(const QDeadlineTimer &deadline)
{
    m_connected = false;
    m_socket->abort();
    m_socket->connectToHost(m_address.host, m_address.port);
    // The one blocking call of the component: bounded, and only on open.
    if (!m_socket->waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
        const QString message = connectFailure();
        m_socket->abort();
        return CommResult::failure(message);
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // a frame is four bytes: no Nagle wait
    m_connected = true;
    return CommResult::success();
}

QString SocketTransport::connectFailure() const
{
    switch (m_socket->error()) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("the name \"%1\" cannot be resolved. Check the gateway's name, or give its "
                              "IP address instead")
            .arg(m_address.host);
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("the connection was refused. Is the gateway running, is the port right?");
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::NetworkError:
        return QStringLiteral("no answer within %1 s (host unreachable). Check that the gateway is "
                              "switched on and that this computer can reach its network")
            .arg(kConnectTimeout.count() / 1000);
    default:
        if (m_socket->state() != QAbstractSocket::ConnectedState && m_socket->error() == QAbstractSocket::UnknownSocketError)
            return QStringLiteral("no answer within %1 s (host unreachable). Check that the gateway is "
                                  "switched on and that this computer can reach its network")
                .arg(kConnectTimeout.count() / 1000);
        return m_socket->errorString();
    }
}

void SocketTransport::reportLoss(const QString &reason)
{
    if (!m_connected)
        return;
    m_connected = false;
    emit lost(reason);
}

void SocketTransport::close()
{
    m_connected = false;
    m_socket->abort();
}

bool SocketTransport::isOpen() const
{
    return m_connected && m_socket->state() == QAbstractSocket::ConnectedState;
}

int SocketTransport::nativeHandle() const
{
    return isOpen() ? int(m_socket->socketDescriptor()) : -1;
}

CommResult TcpTransport::open(const LineSettings &)
{
    const CommResult connected = connectSocket(QDeadlineTimer(kConnectTimeout));
    if (connected)
        connect(socket(), &QTcpSocket::readyRead, this, &Transport::readyRead, Qt::UniqueConnection);
    return connected;
}

CommResult TcpTransport::write(const QByteArray &bytes)
{
    if (socket()->write(bytes) != bytes.size())
        return CommResult::failure(QStringLiteral("the connection refused the data"));
    socket()->flush(); // to the kernel now, not on the next turn of the event loop
    return CommResult::success();
}

QByteArray TcpTransport::read()
{
    return socket()->read(kReadBufferSize);
}

qint64 TcpTransport::bytesAvailable() const
{
    return socket()->bytesAvailable();
}

// The gateway's own line settings apply; the choice is kept by MSComm for the
// next serial port.
CommResult TcpTransport::applySettings(const LineSettings &)
{
    return CommResult::success();
}

} // namespace koru
