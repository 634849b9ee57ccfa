#include "serial/serialtransport.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace koru {

namespace {
const QString kHungUp = QStringLiteral("the line hung up (adapter unplugged, or the far end closed)");
}

SerialTransport::SerialTransport(const QString &path, QObject *parent)
    : Transport(parent)
    , m_path(path)
    , m_port(this)
    , m_hangup(this)
{
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kReadBufferSize);
    connect(&m_port, &QSerialPort::readyRead, this, &Transport::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
    connect(&m_hangup, &HangupWatch::hungUp, this, [this] { reportLoss(kHungUp); });
}

SerialTransport::~SerialTransport()
{
    // Release the device (and Qt's lock file) however the program ends.
    disconnect(&m_port, nullptr, this, nullptr);
    close();
}

bool SerialTransport::setLine(const LineSettings &settings)
{
    m_inSettings = true;
    const bool ok = m_port.setBaudRate(settings.baudRate) && m_port.setParity(settings.parity)
        && m_port.setDataBits(settings.dataBits) && m_port.setStopBits(settings.stopBits);
    m_inSettings = false;
    return ok;
}

void SerialTransport::open(const LineSettings &settings)
{
    if (const CommResult opened = openDevice(settings); opened)
        emit this->opened();
    else
        emit openFailed(opened.message());
}

CommResult SerialTransport::openDevice(const LineSettings &settings)
{
    const QFileInfo info(m_path);
    if (!info.exists()) {
        m_openError = QSerialPort::DeviceNotFoundError;
        return CommResult::failure(openFailure(m_openError));
    }
    // Open the device itself, not an alias of it, so that Qt's lock file is
    // the same whichever name (/dev/serial/by-id/..., a symlink) was given.
    m_port.setPortName(info.canonicalFilePath());
    (void)setLine(settings);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.clearError();
    m_lost = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_openError = m_port.error();
        const QString message = openFailure(m_port.error());
        m_port.clearError();
        return CommResult::failure(message);
    }
    m_settings = settings;
    m_hangup.watch(int(m_port.handle()));
    return CommResult::success();
}

// The reason alone; MSComm classifies the failure again with what it knows
// of the path, and each program adds its own advice.
QString SerialTransport::openFailure(QSerialPort::SerialPortError error) const
{
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(m_path))
        return QStringLiteral("the device does not exist");
    const QByteArray native = QFileInfo(m_path).canonicalFilePath().toLocal8Bit();
    if (error == QSerialPort::PermissionError
        && ::faccessat(AT_FDCWD, native.constData(), R_OK | W_OK, AT_EACCESS) != 0)
        return QStringLiteral("permission denied");
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
        return QStringLiteral("the port is busy, held by another program");
    return m_port.errorString();
}

void SerialTransport::close()
{
    m_hangup.stop();
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

CommResult SerialTransport::write(const QByteArray &bytes)
{
    if (m_port.write(bytes) != bytes.size() || !m_port.isOpen())
        return CommResult::failure(QStringLiteral("the driver refused the data"));
    // Hand the bytes to the driver now rather than on the next turn of the
    // event loop: the frame is on the line before anything is shown.
    m_port.flush();
    return CommResult::success();
}

QByteArray SerialTransport::read()
{
    return m_port.read(kReadBufferSize);
}

CommResult SerialTransport::applySettings(const LineSettings &settings)
{
    if (!m_port.isOpen())
        return CommResult::success();
    if (setLine(settings)) {
        m_settings = settings;
        return CommResult::success();
    }
    const QString reason = m_port.error() == QSerialPort::UnsupportedOperationError
        ? QStringLiteral("the device does not support these settings")
        : m_port.errorString();
    m_port.clearError();
    // Put back what worked before, so the line is left in a known state.
    (void)setLine(m_settings);
    m_port.clearError();
    return CommResult::failure(QStringLiteral("the line settings cannot be applied: %1").arg(reason));
}

int SerialTransport::nativeHandle() const
{
    return m_port.isOpen() ? int(m_port.handle()) : -1;
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // close() itself may report NotOpenError; settings changes report their
    // own failures; a loss already noticed is not noticed twice.
    if (error == QSerialPort::NotOpenError || m_inSettings || m_lost || !m_port.isOpen())
        return;
    // The kernel's word first: a hang-up is a hang-up whatever Qt called it.
    if (HangupWatch::hasHungUp(int(m_port.handle())) || !QFileInfo::exists(m_path)) {
        reportLoss(kHungUp);
        return;
    }
    // A device that is still there, and has not hung up, but whose read
    // failed has usually had its bytes taken by another program reading it at
    // the same time (a `cat` on the device): they never reach us, so the line
    // cannot be trusted. Qt reports such a read as a read error, or as a
    // resource error with "try again" (EAGAIN) as the system's words. (The
    // system's words are of no help otherwise: what errno holds by now is
    // often left over from an earlier call.)
    const bool wouldBlock = m_port.errorString() == QString::fromLocal8Bit(std::strerror(EAGAIN));
    if (error == QSerialPort::ReadError || wouldBlock) {
        reportLoss(QStringLiteral("reading the device failed: another program may be reading it at the same time "
                                  "and taking the replies; close that program"));
        return;
    }
    reportLoss(kHungUp);
}

void SerialTransport::reportLoss(const QString &reason)
{
    if (m_lost || !m_port.isOpen())
        return;
    m_lost = true;
    m_hangup.stop();
    emit lost(reason);
}

} // namespace koru
