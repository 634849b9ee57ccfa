#include "serial/mscomm.h"

#include "serial/openfailure.h"
#include "serial/portaddress.h"
#include "serial/portconfig.h"
#include "serial/portlisting.h"
#include "serial/rfc2217transport.h"
#include "serial/serialtransport.h"
#include "serial/sockettransport.h"

#include <QMetaObject>
#include <QPointer>

#include <sys/ioctl.h>

namespace koru {

MSComm::MSComm(QObject *parent)
    : QObject(parent)
{
    m_devicePaths.insert(1, QLatin1String(kDefaultCom1));
    m_devicePaths.insert(2, QLatin1String(kDefaultCom2));
}

MSComm::~MSComm()
{
    dropTransport();
}

void MSComm::setDevicePath(int port, const QString &address)
{
    m_devicePaths.insert(port, address);
}

QString MSComm::devicePath(int port) const
{
    return m_devicePaths.value(port);
}

QString MSComm::portLabel(int port) const
{
    const QString path = devicePath(port);
    return path.isEmpty() ? QStringLiteral("COM%1").arg(port)
                          : QStringLiteral("COM%1 (%2)").arg(port).arg(path);
}

CommResult MSComm::setCommPort(int port)
{
    if (!m_devicePaths.contains(port))
        return CommResult::failure(
            QStringLiteral("There is no port COM%1: only COM1 and COM2 can be chosen.").arg(port));
    if (portOpen() || m_opening)
        return CommResult::failure(
            QStringLiteral("%1 is open: close it before choosing another port.").arg(portLabel(m_commPort)));
    m_commPort = port;
    m_lineLostMessage.clear(); // the operator has chosen again: the loss is answered
    return CommResult::success();
}

CommResult MSComm::setSettings(const QString &settings)
{
    const ParsedSettings parsed = parseCommSettings(settings);
    if (!parsed.settings)
        return CommResult::failure(parsed.error);
    if (portOpen()) {
        // Takes effect on the open port at once, without closing it.
        const CommResult applied = m_transport->applySettings(*parsed.settings);
        if (!applied)
            return CommResult::failure(QStringLiteral("%1: %2.").arg(portLabel(m_commPort), applied.message()));
    }
    m_settings = *parsed.settings;
    m_settingsText = settings;
    return CommResult::success();
}

bool MSComm::portOpen() const
{
    return m_transport && !m_opening && m_transport->isOpen() && !m_lineLost;
}

void MSComm::dropTransport()
{
    if (!m_transport)
        return;
    disconnect(m_transport, nullptr, this, nullptr);
    m_transport->close();
    // Later, not now: this may run inside one of the transport's own signals.
    m_transport->deleteLater();
    m_transport = nullptr;
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        dropTransport();
        m_lineLost = false;
        m_opening = false;
        ++m_openGeneration;
        return;
    }
    if (m_opening)
        return;
    if (portOpen()) {
        emit openFinished(CommResult::failure(QStringLiteral("%1 is already open.").arg(portLabel(m_commPort))));
        return;
    }
    setPortOpen(false); // a lost line whose close is still pending
    m_opening = true;
    m_openedWith = m_settings;
    const quint64 generation = m_openGeneration;

    OpenFailure failure;
    failure.port = m_commPort;
    failure.path = devicePath(m_commPort);
    if (failure.path.isEmpty()) {
        failure.cause = OpenFailureCause::NotConfigured;
        finishOpen(generation, CommResult::failure(failure));
        return;
    }
    const ParsedAddress parsed = parsePortAddress(failure.path);
    if (!parsed.error.isEmpty()) {
        failure.cause = OpenFailureCause::BadAddress;
        failure.systemText = parsed.error;
        finishOpen(generation, CommResult::failure(failure));
        return;
    }
    if (parsed.address.kind == PortAddress::Kind::Device && !isCharacterDevice(parsed.address.path)) {
        finishOpen(generation, CommResult::failure(deviceOpenFailure(QSerialPort::NoError, parsed.address.path, QString())));
        return;
    }

    switch (parsed.address.kind) {
    case PortAddress::Kind::Device: m_transport = new SerialTransport(parsed.address.path, this); break;
    case PortAddress::Kind::Tcp: m_transport = new TcpTransport(parsed.address, this); break;
    case PortAddress::Kind::Rfc2217: m_transport = new Rfc2217Transport(parsed.address, this); break;
    }
    connect(m_transport, &Transport::opened, this, [this] { settleOpen(CommResult::success()); });
    connect(m_transport, &Transport::openFailed, this, &MSComm::onTransportOpenFailed);
    connect(m_transport, &Transport::readyRead, this, &MSComm::onReadyRead);
    connect(m_transport, &Transport::lost, this, &MSComm::onLost);
    m_transport->open(m_settings);
}

void MSComm::onTransportOpenFailed(const QString &reason)
{
    const auto *serial = qobject_cast<SerialTransport *>(m_transport);
    if (serial) {
        settleOpen(CommResult::failure(deviceOpenFailure(serial->openError(), devicePath(m_commPort), reason)));
        return;
    }
    OpenFailure failure;
    failure.port = m_commPort;
    failure.path = devicePath(m_commPort);
    failure.cause = OpenFailureCause::Gateway;
    failure.systemText = reason;
    settleOpen(CommResult::failure(failure));
}

// A device has its answer at once, and the caller hears it before
// setPortOpen(true) returns, as an open always did. A gateway's answer is
// told from the event loop, never from inside the caller's call nor the
// socket's own signal, even when it came at once (a refused connect).
void MSComm::settleOpen(const CommResult &result)
{
    const quint64 generation = m_openGeneration;
    if (qobject_cast<SerialTransport *>(m_transport)) {
        finishOpen(generation, result);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, generation, result] { finishOpen(generation, result); }, Qt::QueuedConnection);
}

void MSComm::finishOpen(quint64 generation, const CommResult &result)
{
    if (generation != m_openGeneration || !m_opening)
        return; // closed, or opened afresh, meanwhile
    m_opening = false;
    if (!result) {
        dropTransport();
        emit openFinished(result);
        return;
    }
    m_commEvent = comEvNone;
    m_lineLostMessage.clear();
    m_lineFailureReason.clear();
    // Settings chosen while the open was in progress take effect now; one
    // that fails leaves the line as it was opened (no such failure arises
    // with the projector's two settings).
    if (!(m_settings == m_openedWith))
        (void)m_transport->applySettings(m_settings);
    const QPointer<MSComm> self(this);
    emit openFinished(result);
    // Bytes that came before the open was told wait for their notification.
    if (self && generation == m_openGeneration && portOpen())
        onReadyRead();
}

// A device's failure with what the operator needs to act on it: the ports
// present instead, or the group to join.
OpenFailure MSComm::deviceOpenFailure(QSerialPort::SerialPortError error, const QString &path,
                                      const QString &systemText) const
{
    OpenFailure failure;
    failure.port = m_commPort;
    failure.path = path;
    failure.cause = classifyOpenFailure(error, path);
    failure.systemText = systemText;
    if (failure.cause == OpenFailureCause::NoDevice) {
        failure.presentPorts = preferredPortNames(presentSerialPorts(), kPortsNamedWhenMissing);
        failure.configFile = portConfigPath();
    } else if (failure.cause == OpenFailureCause::PermissionDenied) {
        failure.deviceGroup = groupThatMayOpen(path);
        failure.deviceOwner = owningUser(path);
        failure.userName = currentUserName();
    }
    return failure;
}

CommResult MSComm::setOutput(const QString &text)
{
    if (!portOpen()) {
        // After a loss, say what happened rather than only that it is closed.
        if (!m_lineLostMessage.isEmpty())
            return CommResult::failure(m_lineLostMessage);
        return CommResult::failure(
            QStringLiteral("Cannot send on %1: the port is not open.").arg(portLabel(m_commPort)));
    }
    const CommResult written = m_transport->write(text.toLatin1());
    if (!written) {
        m_lineFailureReason = written.message();
        return CommResult::failure(QStringLiteral("Cannot send on %1: %2.").arg(portLabel(m_commPort), written.message()));
    }
    if (m_lineLost)
        return CommResult::failure(m_lineLostMessage);
    return CommResult::success();
}

QString MSComm::input()
{
    if (!portOpen() && !(m_lastWords && m_transport))
        return QString();
    // One character per byte; bytes above 127 map one for one (Latin-1).
    return QString::fromLatin1(m_transport->read());
}

qint64 MSComm::inBufferCount() const
{
    if (!portOpen())
        return 0;
    int waiting = 0;
    if (const int fd = m_transport->nativeHandle(); fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0)
        waiting = 0;
    return m_transport->bytesAvailable() + waiting;
}

void MSComm::onReadyRead()
{
    if (!portOpen() || m_transport->bytesAvailable() < m_rThreshold)
        return;
    m_commEvent = comEvReceive;
    emit OnComm();
}

void MSComm::onLost(const QString &reason)
{
    if (m_lineLost || !m_transport)
        return;
    m_lineLost = true;
    m_lineFailureReason = reason;
    // The operator's way back: the port is closed, and choosing it again reopens it.
    const bool device = qobject_cast<SerialTransport *>(m_transport) != nullptr;
    m_lineLostMessage = QStringLiteral("%1 was lost: %2. The port has been closed; choose it again %3.")
                            .arg(portLabel(m_commPort), reason,
                                 device ? QStringLiteral("once the device is back") : QStringLiteral("to reconnect"));
    const quint64 generation = m_openGeneration;
    QMetaObject::invokeMethod(
        this, [this, generation] { closeLostLine(generation); }, Qt::QueuedConnection);
}

void MSComm::closeLostLine(quint64 generation)
{
    if (generation != m_openGeneration || !m_lineLost)
        return; // the port was closed or reopened meanwhile
    // Bytes that came in just before the line went are the far end's last
    // words (a reply, or a gateway's refusal): they are handed out before the
    // loss, not dropped unseen.
    if (m_transport && m_transport->bytesAvailable() > 0) {
        m_lastWords = true;
        m_commEvent = comEvReceive;
        emit OnComm();
        m_lastWords = false;
        if (generation != m_openGeneration || !m_lineLost)
            return; // the handler closed or reopened the port
    }
    dropTransport();
    m_lineLost = false;
    ++m_openGeneration;
    m_commEvent = comEventLineLost;
    emit OnComm();
}

} // namespace koru
