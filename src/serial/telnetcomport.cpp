#include "serial/telnetcomport.h"

#include <libtelnet.h>

#include <QtEndian>

namespace koru {
namespace {

constexpr unsigned char kComPortOption = 44;

// Client to server; the server answers each with the same code plus 100.
enum ComPortCommand : unsigned char {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
};
constexpr unsigned char kServerOffset = 100;
constexpr unsigned char kNoFlowControl = 1;

// Only what is used; libtelnet refuses everything else on our behalf.
const telnet_telopt_t kOptions[] = {
    { TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO },
    { kComPortOption, TELNET_WILL, TELNET_DONT },
    { -1, 0, 0 },
};

unsigned char parityCode(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::OddParity: return 2;
    case QSerialPort::EvenParity: return 3;
    case QSerialPort::MarkParity: return 4;
    case QSerialPort::SpaceParity: return 5;
    default: return 1;
    }
}

unsigned char stopCode(QSerialPort::StopBits stop)
{
    switch (stop) {
    case QSerialPort::TwoStop: return 2;
    case QSerialPort::OneAndHalfStop: return 3;
    default: return 1;
    }
}

QString commandName(unsigned char command)
{
    switch (command) {
    case SetBaudRate: return QStringLiteral("speed");
    case SetDataSize: return QStringLiteral("data bits");
    case SetParity: return QStringLiteral("parity");
    case SetStopSize: return QStringLiteral("stop bits");
    default: return QStringLiteral("flow control");
    }
}

} // namespace

TelnetComPort::TelnetComPort(Sink toNetwork)
    : m_sink(std::move(toNetwork))
    , m_telnet(telnet_init(kOptions, &TelnetComPort::onEvent, 0, this))
{
}

TelnetComPort::~TelnetComPort()
{
    if (m_telnet)
        telnet_free(m_telnet);
}

void TelnetComPort::start()
{
    telnet_negotiate(m_telnet, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(m_telnet, TELNET_DO, TELNET_TELOPT_BINARY);
    telnet_negotiate(m_telnet, TELNET_WILL, kComPortOption);
}

void TelnetComPort::requestSettings(const LineSettings &settings)
{
    m_wanted = settings;
    m_settingsUnsent = true;
    if (m_comPort)
        sendSettings();
}

void TelnetComPort::sendSettings()
{
    m_settingsUnsent = false;
    char speed[4];
    qToBigEndian<quint32>(quint32(m_wanted.baudRate), speed);
    // A newer request replaces whatever of an older one has not gone out yet.
    m_queue = {
        { SetBaudRate, QByteArray(speed, 4) },
        { SetDataSize, QByteArray(1, char(m_wanted.dataBits)) },
        { SetParity, QByteArray(1, char(parityCode(m_wanted.parity))) },
        { SetStopSize, QByteArray(1, char(stopCode(m_wanted.stopBits))) },
        { SetControl, QByteArray(1, char(kNoFlowControl)) },
    };
    if (!m_inFlight)
        sendNext();
}

void TelnetComPort::sendNext()
{
    if (m_queue.empty())
        return;
    m_inFlight = m_queue.front();
    m_queue.pop_front();
    const QByteArray body = char(m_inFlight->first) + m_inFlight->second;
    telnet_subnegotiation(m_telnet, kComPortOption, body.constData(), size_t(body.size()));
}

void TelnetComPort::receive(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        telnet_recv(m_telnet, bytes.data(), size_t(bytes.size()));
}

QByteArray TelnetComPort::takeData(qsizetype max)
{
    QByteArray out = m_data.left(max);
    m_data.remove(0, out.size());
    return out;
}

void TelnetComPort::send(QByteArrayView payload)
{
    if (!payload.isEmpty())
        telnet_send(m_telnet, payload.data(), size_t(payload.size()));
}

bool TelnetComPort::isReady() const
{
    return m_failure.isEmpty() && m_usBinary && m_himBinary && m_comPort && !awaitingAnswers();
}

QString TelnetComPort::describe(const LineSettings &s)
{
    static const char parities[] = "?NOEMS";
    const unsigned char stop = stopCode(s.stopBits);
    return QStringLiteral("%1,%2,%3,%4")
        .arg(s.baudRate)
        .arg(QLatin1Char(parities[parityCode(s.parity)]))
        .arg(int(s.dataBits))
        .arg(stop == 3 ? QStringLiteral("1.5") : QString::number(stop));
}

void TelnetComPort::fail(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
}

void TelnetComPort::onEvent(telnet_t *, telnet_event_t *event, void *self)
{
    static_cast<TelnetComPort *>(self)->handle(*event);
}

void TelnetComPort::handle(const telnet_event_t &event)
{
    switch (event.type) {
    case TELNET_EV_DATA:
        m_data.append(event.data.buffer, qsizetype(event.data.size));
        break;
    case TELNET_EV_SEND:
        m_sink(QByteArrayView(event.data.buffer, qsizetype(event.data.size)));
        break;
    case TELNET_EV_DO:
        if (event.neg.telopt == TELNET_TELOPT_BINARY) {
            m_usBinary = true;
        } else if (event.neg.telopt == kComPortOption && !m_comPort) {
            m_comPort = true;
            if (m_settingsUnsent)
                sendSettings();
        }
        break;
    case TELNET_EV_DONT:
        if (event.neg.telopt == TELNET_TELOPT_BINARY) {
            m_usBinary = false;
            fail(QStringLiteral("the gateway refused binary transfer, so CR and byte 255 cannot cross unchanged"));
        } else if (event.neg.telopt == kComPortOption) {
            m_comPort = false;
            m_comPortRefused = true;
            fail(QStringLiteral("the gateway refused COM port control"));
        }
        break;
    case TELNET_EV_WILL:
        if (event.neg.telopt == TELNET_TELOPT_BINARY)
            m_himBinary = true;
        break;
    case TELNET_EV_WONT:
        if (event.neg.telopt == TELNET_TELOPT_BINARY) {
            m_himBinary = false;
            fail(QStringLiteral("the gateway refused binary transfer, so CR and byte 255 cannot cross unchanged"));
        }
        break;
    case TELNET_EV_SUBNEGOTIATION:
        if (event.sub.telopt == kComPortOption)
            onAnswer(QByteArrayView(event.sub.buffer, qsizetype(event.sub.size)));
        break;
    case TELNET_EV_ERROR:
        fail(QStringLiteral("the gateway broke the Telnet protocol (%1)").arg(QString::fromLatin1(event.error.msg)));
        break;
    default:
        break; // plain IAC commands, warnings: nothing to do
    }
}

// An answer echoes what the server has set; anything else than what was
// asked for is a refusal. Notifications (line and modem state, flow
// suspension) need no action here.
void TelnetComPort::onAnswer(QByteArrayView sub)
{
    if (sub.isEmpty())
        return;
    const unsigned char code = static_cast<unsigned char>(sub.front());
    if (code <= kServerOffset)
        return;
    if (!m_inFlight || code - kServerOffset != m_inFlight->first)
        return;
    const Setting asked = *m_inFlight;
    m_inFlight.reset();
    const QByteArrayView value = sub.sliced(1);
    if (value != QByteArrayView(asked.second)) {
        QString given;
        if (asked.first == SetBaudRate && value.size() == 4)
            given = QString::number(qFromBigEndian<quint32>(value.data()));
        else
            given = QString::fromLatin1(QByteArray(value.data(), value.size()).toHex(' '));
        m_queue.clear();
        fail(QStringLiteral("the gateway refused the %1 of %2 (it answered %3)")
                 .arg(commandName(asked.first), describe(m_wanted), given.isEmpty() ? QStringLiteral("nothing") : given));
        return;
    }
    sendNext();
}

} // namespace koru
