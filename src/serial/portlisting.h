#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace koru {

// A serial port present on this machine, with what the system knows of it.
struct SerialPortEntry
{
    QString device;     // e.g. /dev/ttyUSB0
    QString stableName; // its /dev/serial/by-id name, which survives replugging; may be empty
    QString description;
    QString manufacturer;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;

    // The name to give --com1: the stable one where there is one.
    QString preferredName() const { return stableName.isEmpty() ? device : stableName; }
};

inline constexpr const char *kSerialByIdDirectory = "/dev/serial/by-id";

// The serial ports present, each with its stable name looked up among the
// links in `byIdDirectory`.
QList<SerialPortEntry> presentSerialPorts(const QString &byIdDirectory = QLatin1String(kSerialByIdDirectory));

// Finds the link in `byIdDirectory` that leads to `device`; empty if none.
QString stableNameOf(const QString &device, const QString &byIdDirectory);

// One line per port, or "no serial ports found"; each line ends in a newline.
QString formatSerialPortListing(const QList<SerialPortEntry> &ports);

// The preferred names of the first `count` ports.
QStringList preferredPortNames(const QList<SerialPortEntry> &ports, int count);

} // namespace koru
