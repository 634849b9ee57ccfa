#include "serial/rfc2217transport.h"

#include "serial/gatewaywords.h"

#include <QTcpSocket>
#include <QTimer>

namespace koru {

Rfc2217Transport::Rfc2217Transport(const PortAddress &address, QObject *parent)
    : SocketTransport(address, parent)
    , m_answerTimer(new QTimer(this))
{
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setInterval(kConnectTimeout);
    connect(m_answerTimer, &QTimer::timeout, this, [this] {
        reportLoss(QStringLiteral("the gateway did not confirm the line settings %1 within %2 s")
                       .arg(TelnetComPort::describe(m_requested), QString::number(kConnectTimeout.count() / 1000)));
    });
}

Rfc2217Transport::~Rfc2217Transport() = default;

CommResult Rfc2217Transport::open(const LineSettings &settings)
{
    const QDeadlineTimer deadline(kConnectTimeout);
    m_answerTimer->stop();
    m_session = std::make_unique<TelnetComPort>([this](QByteArrayView bytes) {
        socket()->write(bytes.data(), bytes.size());
    });
    const CommResult connected = connectSocket(deadline);
    if (!connected)
        return connected;

    // Connected means the gateway has agreed to be a serial port with these
    // settings: the negotiation belongs to the bounded connect.
    m_session->start();
    m_session->requestSettings(settings);
    socket()->flush();
    while (!m_session->isReady() && m_session->failure().isEmpty()) {
        if (m_session->dataSize() >= kReadBufferSize)
            break; // a gateway that floods before it answers does not speak RFC 2217 as asked
        if (socket()->bytesAvailable() == 0
            && !socket()->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        pump();
        socket()->flush();
    }
    if (!m_session->isReady()) {
        const QString message = negotiationFailure();
        close();
        return CommResult::failure(message);
    }
    connect(socket(), &QTcpSocket::readyRead, this, &Rfc2217Transport::onSocketData, Qt::UniqueConnection);
    if (m_session->dataSize() > 0 || socket()->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &Rfc2217Transport::onSocketData, Qt::QueuedConnection);
    return CommResult::success();
}

QString Rfc2217Transport::negotiationFailure() const
{
    const QString suggestion = QStringLiteral(
        "If the gateway passes bytes as they are, use tcp://%1:%2 instead (the gateway's own line "
        "settings then apply)")
                                   .arg(address().host.contains(u':') ? u'[' + address().host + u']' : address().host)
                                   .arg(address().port);
    if (m_session->comPortRefused())
        return QStringLiteral("the gateway does not speak RFC 2217: %1. %2").arg(m_session->failure(), suggestion);
    if (!m_session->failure().isEmpty())
        return m_session->failure();
    if (socket()->state() != QAbstractSocket::ConnectedState) {
        // It spoke Telnet and then turned the connection down (ser2net says
        // "Port's device already in use" when another connection holds its
        // device): the other mode would not help.
        const QString words = gatewayWords(m_session->data());
        return words.isEmpty()
            ? QStringLiteral("the gateway refused the connection (it closed it before agreeing to COM port control)")
            : QStringLiteral("the gateway refused the connection, saying \"%1\"").arg(words);
    }
    if (!m_session->comPortAgreed())
        return QStringLiteral("the gateway does not speak RFC 2217: no answer to the COM port control within "
                              "%1 s. %2")
            .arg(kConnectTimeout.count() / 1000)
            .arg(suggestion);
    return QStringLiteral("the gateway did not confirm the line settings within %1 s")
        .arg(kConnectTimeout.count() / 1000);
}

void Rfc2217Transport::close()
{
    m_answerTimer->stop();
    SocketTransport::close();
}

void Rfc2217Transport::pump()
{
    const qsizetype room = kReadBufferSize - m_session->dataSize();
    if (room <= 0)
        return;
    // The parser's payload is never longer than its input, so the buffer
    // stays within its bound.
    m_session->receive(socket()->read(room));
}

void Rfc2217Transport::onSocketData()
{
    if (!isOpen())
        return;
    pump();
    socket()->flush(); // answers libtelnet gave to the gateway's own requests
    checkAnswers();
    if (!isOpen())
        return;
    if (m_session->dataSize() > 0)
        emit readyRead();
}

void Rfc2217Transport::checkAnswers()
{
    if (!m_session->failure().isEmpty()) {
        m_answerTimer->stop();
        reportLoss(m_session->failure());
        return;
    }
    if (!m_session->awaitingAnswers())
        m_answerTimer->stop();
}

CommResult Rfc2217Transport::write(const QByteArray &bytes)
{
    if (socket()->state() != QAbstractSocket::ConnectedState)
        return CommResult::failure(QStringLiteral("the connection refused the data"));
    m_session->send(bytes);
    socket()->flush(); // to the kernel now, not on the next turn of the event loop
    return CommResult::success();
}

QByteArray Rfc2217Transport::read()
{
    const QByteArray out = m_session->takeData(kReadBufferSize);
    // Bytes held back while the buffer was full come through now, with a
    // notification of their own as on a serial port.
    if (socket()->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &Rfc2217Transport::onSocketData, Qt::QueuedConnection);
    return out;
}

qint64 Rfc2217Transport::bytesAvailable() const
{
    return m_session ? m_session->dataSize() : 0;
}

CommResult Rfc2217Transport::applySettings(const LineSettings &settings)
{
    if (!isOpen())
        return CommResult::success();
    m_requested = settings;
    m_session->requestSettings(settings);
    socket()->flush();
    m_answerTimer->start();
    return CommResult::success();
}

} // namespace koru
