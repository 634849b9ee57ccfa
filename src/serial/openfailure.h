#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace koru {

// Why a port could not be opened, in the terms the operator can act on.
enum class OpenFailureCause {
    NotConfigured,    // no device is named for the port
    BadAddress,       // the address is neither a path nor tcp:// nor rfc2217://
    NoDevice,         // nothing at that path (adapter unplugged, a typing slip)
    NotASerialDevice, // a file or a device that is no terminal line
    PermissionDenied, // this user may not open the device
    Busy,             // another program holds it
    Gateway,          // a tcp:// or rfc2217:// gateway was not reached or refused
    Other,            // anything else: the system's own words are shown
};

// Everything a message about the failure needs, filled in by the port
// component. It names no program's options: each program words the failure
// with its own (see openFailureText), so the same failure reads "--com1" in
// the panel and "--port" in koru-ctl.
struct OpenFailure
{
    int port = 1;             // the port number it was opened as
    QString path;             // the device path or the gateway's address
    OpenFailureCause cause = OpenFailureCause::Other;
    QString systemText;       // BadAddress, Gateway, Other: what was wrong, in full
    QString deviceGroup;      // PermissionDenied: the group that may read and write the node; empty
                              // when only its owner may (or the group is root's)
    QString deviceOwner;      // PermissionDenied: the user that owns the node
    QString userName;         // PermissionDenied: who is running the program
    QStringList presentPorts; // NoDevice: ports that are there instead
    QString configFile;       // NoDevice: where a device for the port can be kept
};

// How many present ports a missing-device message names.
inline constexpr int kPortsNamedWhenMissing = 3;

// "COM1 (/dev/ttyUSB0)", or "COM1" when no device is named.
QString portLabel(int port, const QString &path);

// The port as MSComm names it in a failure: its number, and its address
// unless the reason quotes the address itself.
QString openFailureLabel(const OpenFailure &failure);

// What went wrong, to follow "cannot be opened: ": the same for every
// program, and without advice on any program's options.
QString openFailureReason(const OpenFailure &failure);

// "<label> cannot be opened: <reason>." and then the program's `advice`.
QString openFailureText(const QString &label, const OpenFailure &failure, const QString &advice = QString());

// The present ports a message names, at most kPortsNamedWhenMissing.
QString namedPresentPorts(const OpenFailure &failure);

// What the system says about a path that could not be opened as a serial
// port (`error` as QSerialPort reported it; NoError before any attempt).
OpenFailureCause classifyOpenFailure(QSerialPort::SerialPortError error, const QString &path);

// True for a character device node; a regular file, a directory or a pipe is
// never a serial line, and is refused before anything opens it.
bool isCharacterDevice(const QString &path);

// The group that owns the node (e.g. "dialout") when joining it would let a
// user open the device: the group may read and write the node and is not
// root's. Empty otherwise, or when the node cannot be looked at.
QString groupThatMayOpen(const QString &path);

// The user that owns the node, or empty.
QString owningUser(const QString &path);

// The login name of the user running this program, or empty.
QString currentUserName();

} // namespace koru
