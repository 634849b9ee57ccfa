#include "serial/portlisting.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace koru {

QString stableNameOf(const QString &device, const QString &byIdDirectory)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QDir directory(byIdDirectory);
    const QFileInfoList links = directory.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return QString();
}

QList<SerialPortEntry> presentSerialPorts(const QString &byIdDirectory)
{
    QList<SerialPortEntry> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        SerialPortEntry entry;
        entry.device = info.systemLocation();
        entry.stableName = stableNameOf(entry.device, byIdDirectory);
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier())
            entry.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            entry.productId = info.productIdentifier();
        ports << entry;
    }
    // USB adapters first (they are what a technician plugs in), then by name.
    std::stable_sort(ports.begin(), ports.end(), [](const SerialPortEntry &a, const SerialPortEntry &b) {
        if (a.vendorId.has_value() != b.vendorId.has_value())
            return a.vendorId.has_value();
        return a.device < b.device;
    });
    return ports;
}

QString formatSerialPortListing(const QList<SerialPortEntry> &ports)
{
    if (ports.isEmpty())
        return QStringLiteral("no serial ports found\n");
    QString text;
    for (const SerialPortEntry &port : ports) {
        QStringList fields { port.preferredName() };
        if (!port.stableName.isEmpty())
            fields << QStringLiteral("(%1)").arg(port.device);
        for (const QString &field : { port.description, port.manufacturer }) {
            if (!field.isEmpty())
                fields << field;
        }
        if (port.vendorId && port.productId)
            fields << QStringLiteral("USB %1:%2")
                          .arg(*port.vendorId, 4, 16, QLatin1Char('0'))
                          .arg(*port.productId, 4, 16, QLatin1Char('0'));
        text += fields.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    return text;
}

QStringList preferredPortNames(const QList<SerialPortEntry> &ports, int count)
{
    QStringList names;
    for (const SerialPortEntry &port : ports.mid(0, count))
        names << port.preferredName();
    return names;
}

} // namespace koru
