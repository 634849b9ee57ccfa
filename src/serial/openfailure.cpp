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

// A reason as the end of a sentence: a full stop unless it has one or asks
// a question.
QString closingSentence(const QString &reason)
{
    return reason.endsWith(u'?') || reason.endsWith(u'.') ? reason : reason + u'.';
}

} // namespace

QString portLabel(int port, const QString &path)
{
    return path.isEmpty() ? QStringLiteral("COM%1").arg(port) : QStringLiteral("COM%1 (%2)").arg(port).arg(path);
}

QString openFailureLabel(const OpenFailure &failure)
{
    return portLabel(failure.port, failure.cause == OpenFailureCause::BadAddress ? QString() : failure.path);
}

QString openFailureReason(const OpenFailure &failure)
{
    switch (failure.cause) {
    case OpenFailureCause::NotConfigured:
        return QStringLiteral("no device is configured for it");
    case OpenFailureCause::NoDevice:
        return QStringLiteral("the device does not exist");
    case OpenFailureCause::NotASerialDevice:
        return QStringLiteral("%1 is not a serial device").arg(failure.path);
    case OpenFailureCause::PermissionDenied: {
        const QString user = failure.userName.isEmpty() ? QStringLiteral("$USER") : failure.userName;
        if (!failure.deviceGroup.isEmpty())
            return QStringLiteral("permission denied. The device belongs to the group '%1', which may read and "
                                  "write it; add this user to it with: sudo usermod -aG %1 %2 (then log out and "
                                  "in again)")
                .arg(failure.deviceGroup, user);
        // Joining root's group, or a group the node does not let in, would
        // not help and may do harm: say who may open it and what changes that.
        return QStringLiteral("permission denied. Only the device's owner%1 may open it, so joining a group "
                              "would not help; a udev rule has to give the device a group that may read and "
                              "write it, as Debian's own rules give serial adapters the group 'dialout' "
                              "(see udev(7))")
            .arg(failure.deviceOwner.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(failure.deviceOwner));
    }
    case OpenFailureCause::Busy:
        return QStringLiteral("the port is busy, held by another program");
    case OpenFailureCause::BadAddress:
    case OpenFailureCause::Gateway:
    case OpenFailureCause::Other:
        break;
    }
    return failure.systemText;
}

QString openFailureText(const QString &label, const OpenFailure &failure, const QString &advice)
{
    const QString text = QStringLiteral("%1 cannot be opened: %2").arg(label, closingSentence(openFailureReason(failure)));
    return advice.isEmpty() ? text : text + u' ' + advice;
}

QString namedPresentPorts(const OpenFailure &failure)
{
    return failure.presentPorts.mid(0, kPortsNamedWhenMissing).join(QStringLiteral(", "));
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

QString groupThatMayOpen(const QString &path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0 || info.st_gid == 0)
        return QString();
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QString();
    const group *entry = ::getgrgid(info.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
}

QString owningUser(const QString &path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0)
        return QString();
    const passwd *entry = ::getpwuid(info.st_uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString currentUserName()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

} // namespace koru
