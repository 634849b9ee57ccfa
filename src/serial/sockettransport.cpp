#include "serial/sockettransport.h"

#include <QTcpSocket>
#include <QTimer>

namespace koru {

namespace {

const QString kClosedByPeer = QStringLiteral("the gateway or the network closed the connection");

QString noAnswer()
{
    return QStringLiteral("no answer within %1 s (host unreachable). Check that the gateway is switched on and "
                          "that this computer can reach its network")
        .arg(Transport::kConnectTimeout.count() / 1000);
}

} // namespace

SocketTransport::SocketTransport(const PortAddress &address, QObject *parent)
    : Transport(parent)
    , m_address(address)
    , m_socket(new QTcpSocket(this))
    , m_openTimer(new QTimer(this))
{
    // Qt stops taking bytes from the kernel once this much waits unread: TCP
    // then holds the gateway back, and nothing is dropped.
    m_socket->setReadBufferSize(kReadBufferSize);
    m_openTimer->setSingleShot(true);
    // A coarse timer may end the open up to 5% early, before the time its
    // failure names; an open that is given 3 s gets all of them.
    m_openTimer->setTimerType(Qt::PreciseTimer);
    m_openTimer->setInterval(kConnectTimeout);
    connect(m_openTimer, &QTimer::timeout, this, [this] { failOpen(m_reached ? unfinishedOpenFailure() : noAnswer()); });
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        if (!m_opening)
            return;
        m_reached = true;
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // a frame is four bytes: no Nagle wait
        connectionMade();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &SocketTransport::onSocketGone);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_opening) {
            // A gateway that closes mid-negotiation is answered once the
            // socket has closed, when disconnected() follows: the reason then
            // sees the connection gone.
            if (m_reached && error == QAbstractSocket::RemoteHostClosedError)
                return;
            failOpen(m_reached ? unfinishedOpenFailure() : connectFailure());
            return;
        }
        if (error == QAbstractSocket::RemoteHostClosedError || error == QAbstractSocket::NetworkError
            || error == QAbstractSocket::SocketTimeoutError)
            reportLoss(kClosedByPeer);
    });
}

SocketTransport::~SocketTransport()
{
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
}

void SocketTransport::startConnect()
{
    m_connected = false;
    m_reached = false;
    m_socket->abort();
    m_opening = true;
    m_openTimer->start();
    // A name is looked up by the socket itself, off the event loop's back;
    // an address literal may fail (refused) before this returns.
    m_socket->connectToHost(m_address.host, m_address.port);
}

QString SocketTransport::unfinishedOpenFailure()
{
    return kClosedByPeer;
}

void SocketTransport::finishOpen()
{
    if (!m_opening)
        return;
    m_opening = false;
    m_openTimer->stop();
    m_connected = true;
    emit opened();
}

void SocketTransport::failOpen(const QString &reason)
{
    if (!m_opening)
        return;
    m_opening = false;
    m_openTimer->stop();
    m_socket->abort();
    emit openFailed(reason);
}

void SocketTransport::onSocketGone()
{
    if (m_opening)
        failOpen(unfinishedOpenFailure());
    else
        reportLoss(kClosedByPeer);
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
    case QAbstractSocket::UnknownSocketError:
        return noAnswer();
    default:
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
    m_opening = false;
    m_openTimer->stop();
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

void TcpTransport::open(const LineSettings &)
{
    connect(socket(), &QTcpSocket::readyRead, this, &Transport::readyRead, Qt::UniqueConnection);
    startConnect();
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
