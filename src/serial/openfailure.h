#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace koru {

// Why a port could not be opened, in the terms the operator can act on.
enum class OpenFailureCause {
    NotConfigured,    // no device is named for the port
    NoDevice,         // nothing at that path (adapter unplugged, a typing slip)
    NotASerialDevice, // a file or a device that is no terminal line
    PermissionDenied, // this user may not open the device
    Busy,             // another program holds it
    Other,            // anything else: the system's own words are shown
};

// Everything the message needs; filled in by the port component, formatted
// without touching the system.
struct OpenFailure
{
    int port = 1;
    QString path;
    OpenFailureCause cause = OpenFailureCause::Other;
    QString systemText;       // Other: the system's description
    QString deviceGroup;      // PermissionDenied: the group that owns the node
    QString userName;         // PermissionDenied: who is running the program
    QStringList presentPorts; // NoDevice: ports that are there instead
    QString configFile;       // NoDevice: where a device for the port can be kept
    bool atStartUp = false;   // Busy: the program ends, so no "choose again"
};

// How many present ports a missing-device message names.
inline constexpr int kPortsNamedWhenMissing = 3;

// "COM1 (/dev/ttyUSB0)", or "COM1" when no device is named.
QString portLabel(int port, const QString &path);

QString openFailureMessage(const OpenFailure &failure);

// What the system says about a path that could not be opened as a serial
// port (`error` as QSerialPort reported it; NoError before any attempt).
OpenFailureCause classifyOpenFailure(QSerialPort::SerialPortError error, const QString &path);

// True for a character device node; a regular file, a directory or a pipe is
// never a serial line, and is refused before anything opens it.
bool isCharacterDevice(const QString &path);

// The group that owns the node (e.g. "dialout"), or empty.
QString owningGroup(const QString &path);

// The login name of the user running this program, or empty.
QString currentUserName();

} // namespace koru
