#include "serial/openfailure.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace koru {

namespace {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(QFileInfo(path).canonicalFilePath());
}

// Opens the node without waiting for carrier and without making it our
// controlling terminal, only to ask whether it is a terminal line at all.
bool isTerminalLine(const QString &path)
{
    const int fd = ::open(nativePath(path).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return true; // cannot tell; leave the system's own words
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
}

QString missingDeviceAdvice(const OpenFailure &failure)
{
    QString text = QStringLiteral("Check that the adapter is plugged in, or name the device with --com%1.")
                       .arg(failure.port);
    if (failure.presentPorts.isEmpty())
        text += QStringLiteral(" No serial ports are present on this machine.");
    else
        text += QStringLiteral(" Serial ports present: %1.")
                    .arg(failure.presentPorts.mid(0, kPortsNamedWhenMissing).join(QStringLiteral(", ")));
    if (!failure.configFile.isEmpty())
        text += QStringLiteral(" Add --save-ports to keep the device for later starts (in %1).")
                    .arg(failure.configFile);
    return text;
}

} // namespace

QString portLabel(int port, const QString &path)
{
    return path.isEmpty() ? QStringLiteral("COM%1").arg(port) : QStringLiteral("COM%1 (%2)").arg(port).arg(path);
}

QString openFailureMessage(const OpenFailure &failure)
{
    const QString port = portLabel(failure.port, failure.path);
    switch (failure.cause) {
    case OpenFailureCause::NotConfigured:
        return QStringLiteral("COM%1 cannot be opened: no device is configured for it.").arg(failure.port);
    case OpenFailureCause::NoDevice:
        return QStringLiteral("%1 cannot be opened: the device does not exist. %2")
            .arg(port, missingDeviceAdvice(failure));
    case OpenFailureCause::NotASerialDevice:
        return QStringLiteral("%1 cannot be opened: %2 is not a serial device. "
                              "Name the adapter's device with --com%3; --list-ports shows the serial ports present.")
            .arg(port, failure.path)
            .arg(failure.port);
    case OpenFailureCause::PermissionDenied: {
        const QString group = failure.deviceGroup.isEmpty() ? QStringLiteral("dialout") : failure.deviceGroup;
        const QString user = failure.userName.isEmpty() ? QStringLiteral("$USER") : failure.userName;
        return QStringLiteral("%1 cannot be opened: permission denied. The device belongs to the group '%2'; "
                              "add this user to it with: sudo usermod -aG %2 %3 (then log out and in again).")
            .arg(port, group, user);
    }
    case OpenFailureCause::Busy:
        return QStringLiteral("%1 cannot be opened: the port is busy, held by another program. %2")
            .arg(port,
                 failure.atStartUp ? QStringLiteral("Close the other program, then start the panel again.")
                                   : QStringLiteral("Close the other program and choose the port again."));
    case OpenFailureCause::Other:
        break;
    }
    return QStringLiteral("%1 cannot be opened: %2.").arg(port, failure.systemText);
}

OpenFailureCause classifyOpenFailure(QSerialPort::SerialPortError error, const QString &path)
{
    if (path.isEmpty())
        return OpenFailureCause::NotConfigured;
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(path))
        return OpenFailureCause::NoDevice;
    if (!isCharacterDevice(path))
        return OpenFailureCause::NotASerialDevice;
    if (error == QSerialPort::PermissionError
        && ::faccessat(AT_FDCWD, nativePath(path).constData(), R_OK | W_OK, AT_EACCESS) != 0)
        return OpenFailureCause::PermissionDenied;
    // Qt reports a device in use (its lock file, or the kernel's exclusive
    // mode) as a permission or open error.
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
        return OpenFailureCause::Busy;
    if (!isTerminalLine(path))
        return OpenFailureCause::NotASerialDevice;
    return OpenFailureCause::Other;
}

bool isCharacterDevice(const QString &path)
{
    struct stat info {};
    return ::stat(nativePath(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

QString owningGroup(const QString &path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0)
        return QString();
    const group *entry = ::getgrgid(info.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
}

QString currentUserName()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

} // namespace koru
