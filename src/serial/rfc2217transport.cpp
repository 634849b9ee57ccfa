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
    m_answerTimer->setTimerType(Qt::PreciseTimer); // never shorter than the time it names
    m_answerTimer->setInterval(kConnectTimeout);
    connect(m_answerTimer, &QTimer::timeout, this, [this] {
        reportLoss(QStringLiteral("the gateway did not confirm the line settings %1 within %2 s")
                       .arg(TelnetComPort::describe(m_requested), QString::number(kConnectTimeout.count() / 1000)));
    });
}

Rfc2217Transport::~Rfc2217Transport() = default;

void Rfc2217Transport::open(const LineSettings &settings)
{
    m_answerTimer->stop();
    m_requested = settings;
    m_session = std::make_unique<TelnetComPort>([this](QByteArrayView bytes) {
        socket()->write(bytes.data(), bytes.size());
    });
    connect(socket(), &QTcpSocket::readyRead, this, &Rfc2217Transport::onSocketData, Qt::UniqueConnection);
    startConnect();
    // Connected means the gateway has agreed to be a serial port with these
    // settings: the negotiation belongs to the bounded open. Its first words
    // wait in the socket and leave the moment the connection is made, before
    // a gateway that turns it down has closed it: a write after that close
    // would reset the connection and lose the gateway's reason unread.
    if (opening() && socket()->state() != QAbstractSocket::UnconnectedState) {
        m_session->start();
        m_session->requestSettings(m_requested);
    }
}

void Rfc2217Transport::connectionMade()
{
    socket()->flush();
    negotiate();
}

void Rfc2217Transport::negotiate()
{
    for (;;) {
        if (m_session->isReady()) {
            finishOpen();
            // What came with the last answer is handed out once the line is
            // open, with a notification of its own.
            if (m_session->dataSize() > 0 || socket()->bytesAvailable() > 0)
                QMetaObject::invokeMethod(this, &Rfc2217Transport::onSocketData, Qt::QueuedConnection);
            return;
        }
        // A gateway that floods before it answers does not speak RFC 2217 as asked.
        if (!m_session->failure().isEmpty() || m_session->dataSize() >= kReadBufferSize) {
            failOpen(negotiationFailure());
            return;
        }
        if (socket()->bytesAvailable() == 0)
            return; // the rest comes with the next readyRead, or the open timer ends it
        pump();
        socket()->flush();
    }
}

QString Rfc2217Transport::unfinishedOpenFailure()
{
    // The gateway's last words before it closed may still wait in the socket.
    pump();
    return negotiationFailure();
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
    if (room <= 0 || !socket()->isOpen())
        return;
    // The parser's payload is never longer than its input, so the buffer
    // stays within its bound.
    m_session->receive(socket()->read(room));
}

void Rfc2217Transport::onSocketData()
{
    if (opening()) {
        negotiate();
        return;
    }
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
