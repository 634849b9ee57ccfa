#include "serial/mscomm.h"

#include <QFileInfo>
#include <QMetaObject>

#include <fcntl.h>
#include <unistd.h>

namespace koru {

MSComm::MSComm(QObject *parent)
    : QObject(parent)
    , m_port(this)
{
    m_devicePaths.insert(1, QLatin1String(kDefaultCom1));
    m_devicePaths.insert(2, QLatin1String(kDefaultCom2));
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onPortError);
}

MSComm::~MSComm()
{
    // Release the device (and Qt's lock file) however the program ends.
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen())
        m_port.close();
}

void MSComm::setDevicePath(int port, const QString &path)
{
    m_devicePaths.insert(port, path);
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
    if (portOpen())
        return CommResult::failure(
            QStringLiteral("%1 is open: close it before choosing another port.").arg(portLabel(m_commPort)));
    m_commPort = port;
    return CommResult::success();
}

CommResult MSComm::setSettings(const QString &settings)
{
    const ParsedSettings parsed = parseCommSettings(settings);
    if (!parsed.settings)
        return CommResult::failure(parsed.error);
    if (portOpen()) {
        const CommResult applied = applySettings(*parsed.settings);
        if (!applied)
            return applied;
    }
    m_settings = *parsed.settings;
    m_settingsText = settings;
    return CommResult::success();
}

// Takes effect on the open port at once, without closing it.
CommResult MSComm::applySettings(const LineSettings &settings)
{
    m_inSettings = true;
    const bool ok = m_port.setBaudRate(settings.baudRate) && m_port.setParity(settings.parity)
        && m_port.setDataBits(settings.dataBits) && m_port.setStopBits(settings.stopBits);
    m_inSettings = false;
    if (ok)
        return CommResult::success();
    const QString reason = m_port.error() == QSerialPort::UnsupportedOperationError
        ? QStringLiteral("the device does not support these settings")
        : m_port.errorString();
    m_port.clearError();
    // Put back what worked before, so the line is left in a known state.
    m_inSettings = true;
    (void)(m_port.setBaudRate(m_settings.baudRate) && m_port.setParity(m_settings.parity)
           && m_port.setDataBits(m_settings.dataBits) && m_port.setStopBits(m_settings.stopBits));
    m_inSettings = false;
    m_port.clearError();
    return CommResult::failure(QStringLiteral("%1: the line settings cannot be applied: %2.")
                                   .arg(portLabel(m_commPort), reason));
}

bool MSComm::portOpen() const
{
    return m_port.isOpen() && !m_lineLost;
}

CommResult MSComm::setPortOpen(bool open)
{
    if (!open) {
        // Closing a closed port is no failure.
        if (m_port.isOpen())
            m_port.close();
        m_port.clearError();
        m_lineLost = false;
        ++m_openGeneration;
        return CommResult::success();
    }
    if (portOpen())
        return CommResult::failure(QStringLiteral("%1 is already open.").arg(portLabel(m_commPort)));
    if (m_port.isOpen()) // a lost line whose close is still pending
        (void)setPortOpen(false);

    const QString path = devicePath(m_commPort);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return CommResult::failure(openFailureMessage(QSerialPort::DeviceNotFoundError, path));

    // Open the device itself, not an alias of it, so that Qt's lock file is
    // the same whichever name (/dev/serial/by-id/..., a symlink) was given.
    m_port.setPortName(info.canonicalFilePath());
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.clearError();
    m_lineLost = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QString message = openFailureMessage(error, path);
        m_port.clearError();
        return CommResult::failure(message);
    }
    ++m_openGeneration;
    m_commEvent = comEvNone;
    return CommResult::success();
}

QString MSComm::openFailureMessage(QSerialPort::SerialPortError error, const QString &path) const
{
    const QString port = portLabel(m_commPort);
    if (path.isEmpty())
        return QStringLiteral("COM%1 cannot be opened: no device is configured for it.").arg(m_commPort);
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(path))
        return QStringLiteral("%1 cannot be opened: the device does not exist. "
                              "Check that the adapter is plugged in, or name the device with --com%2.")
            .arg(port)
            .arg(m_commPort);
    const QByteArray native = QFileInfo(path).canonicalFilePath().toLocal8Bit();
    if (error == QSerialPort::PermissionError
        && ::faccessat(AT_FDCWD, native.constData(), R_OK | W_OK, AT_EACCESS) != 0)
        return QStringLiteral("%1 cannot be opened: permission denied. "
                              "This user needs read and write access to the device, for example "
                              "membership of the 'dialout' group (then log in again).")
            .arg(port);
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
        return QStringLiteral("%1 cannot be opened: the port is busy, held by another program. "
                              "Close the other program and choose the port again.")
            .arg(port);
    return QStringLiteral("%1 cannot be opened: %2.").arg(port, m_port.errorString());
}

CommResult MSComm::setOutput(const QString &text)
{
    if (!portOpen())
        return CommResult::failure(
            QStringLiteral("Cannot send on %1: the port is not open.").arg(portLabel(m_commPort)));
    const QByteArray bytes = text.toLatin1();
    if (m_port.write(bytes) != bytes.size() || !m_port.isOpen())
        return CommResult::failure(
            QStringLiteral("Cannot send on %1: the driver refused the data.").arg(portLabel(m_commPort)));
    // Hand the bytes to the driver now rather than on the next turn of the
    // event loop: the frame is on the line before anything is shown.
    m_port.flush();
    if (m_lineLost)
        return CommResult::failure(m_lineLostMessage);
    return CommResult::success();
}

QString MSComm::input()
{
    if (!portOpen())
        return QString();
    // One character per byte; bytes above 127 map one for one (Latin-1).
    return QString::fromLatin1(m_port.readAll());
}

void MSComm::onReadyRead()
{
    if (!portOpen() || m_port.bytesAvailable() < m_rThreshold)
        return;
    m_commEvent = comEvReceive;
    emit OnComm();
}

void MSComm::onPortError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // close() itself may report NotOpenError; settings changes report their
    // own failures; a loss already noticed is not noticed twice.
    if (error == QSerialPort::NotOpenError || m_inSettings || m_lineLost || !m_port.isOpen())
        return;
    m_lineLost = true;
    m_lineLostMessage = QStringLiteral("%1 was lost: the line hung up (adapter unplugged, or the far end "
                                       "closed). The port has been closed; choose it again once the "
                                       "device is back.")
                            .arg(portLabel(m_commPort));
    const quint64 generation = m_openGeneration;
    QMetaObject::invokeMethod(
        this, [this, generation] { closeLostLine(generation); }, Qt::QueuedConnection);
}

void MSComm::closeLostLine(quint64 generation)
{
    if (generation != m_openGeneration || !m_lineLost)
        return; // the port was closed or reopened meanwhile
    m_port.close();
    m_port.clearError();
    m_lineLost = false;
    ++m_openGeneration;
    m_commEvent = comEventLineLost;
    emit OnComm();
}

} // namespace koru
