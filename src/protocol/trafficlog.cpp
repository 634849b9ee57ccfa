#include "protocol/trafficlog.h"

#include "protocol/rendering.h"

#include <QtDebug>

namespace koru {

QString formatTrafficLine(const QDateTime &when, TrafficDirection direction, QStringView port,
                          QByteArrayView bytes)
{
    // An explicit offset keeps the stamps unambiguous across a change of
    // summer time and when logs of several rooms are compared.
    const QDateTime stamped = when.toOffsetFromUtc(when.offsetFromUtc());
    return QStringLiteral("%1  %2  %3  \"%4\"  %5")
        .arg(stamped.toString(Qt::ISODateWithMs),
             direction == TrafficDirection::Sent ? QStringLiteral("TX") : QStringLiteral("RX"), port,
             renderText(QString::fromLatin1(bytes)), QString::fromLatin1(bytes.toByteArray().toHex(' ')));
}

bool TrafficLog::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (path.isEmpty() || !m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("the traffic log '%1' cannot be opened for writing: %2")
                         .arg(path, path.isEmpty() ? QStringLiteral("no file named") : m_file.errorString());
        return false;
    }
    return true;
}

void TrafficLog::write(TrafficDirection direction, QStringView port, QByteArrayView bytes)
{
    if (!m_file.isOpen() || bytes.isEmpty())
        return;
    const QByteArray line = formatTrafficLine(QDateTime::currentDateTime(), direction, port, bytes).toUtf8() + '\n';
    if ((m_file.write(line) != line.size() || !m_file.flush()) && !m_writeFailed) {
        m_writeFailed = true;
        qWarning().noquote() << QStringLiteral("The traffic log '%1' cannot be written: %2. Lines are missing from it from now on.")
                                    .arg(m_file.fileName(), m_file.errorString());
    }
}

} // namespace koru
