#include "serial/commsettings.h"

#include <QList>

namespace koru {
namespace {

ParsedSettings refuse(QStringView text, const QString &reason)
{
    return { std::nullopt,
             QStringLiteral("The line settings \"%1\" are not valid: %2. "
                            "Expected speed,parity,data bits,stop bits, for example \"19200,N,8,1\".")
                 .arg(text.toString(), reason) };
}

bool allDigits(QStringView field)
{
    if (field.isEmpty())
        return false;
    for (QChar c : field) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

ParsedSettings parseCommSettings(QStringView text)
{
    const QList<QStringView> fields = text.split(u',');
    if (fields.size() != 4)
        return refuse(text, QStringLiteral("%1 fields instead of 4").arg(fields.size()));

    LineSettings result;

    const QStringView speed = fields[0];
    bool numeric = false;
    const qlonglong baud = speed.toLongLong(&numeric);
    if (!allDigits(speed) || speed.front() == u'0' || !numeric || baud <= 0 || baud > 4000000)
        return refuse(text, QStringLiteral("the speed \"%1\" is not a number of baud from 1 to 4000000")
                                .arg(speed.toString()));
    result.baudRate = qint32(baud);

    const QStringView parity = fields[1];
    if (parity.size() != 1)
        return refuse(text, QStringLiteral("the parity \"%1\" is not one of N, E, O, M, S").arg(parity.toString()));
    switch (parity.front().toUpper().unicode()) {
    case u'N': result.parity = QSerialPort::NoParity; break;
    case u'E': result.parity = QSerialPort::EvenParity; break;
    case u'O': result.parity = QSerialPort::OddParity; break;
    case u'M': result.parity = QSerialPort::MarkParity; break;
    case u'S': result.parity = QSerialPort::SpaceParity; break;
    default:
        return refuse(text, QStringLiteral("the parity \"%1\" is not one of N, E, O, M, S").arg(parity.toString()));
    }

    const QStringView data = fields[2];
    if (data == u"5")
        result.dataBits = QSerialPort::Data5;
    else if (data == u"6")
        result.dataBits = QSerialPort::Data6;
    else if (data == u"7")
        result.dataBits = QSerialPort::Data7;
    else if (data == u"8")
        result.dataBits = QSerialPort::Data8;
    else
        return refuse(text, QStringLiteral("the data bits \"%1\" are not 5, 6, 7 or 8").arg(data.toString()));

    const QStringView stop = fields[3];
    if (stop == u"1")
        result.stopBits = QSerialPort::OneStop;
    else if (stop == u"1.5")
        result.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == u"2")
        result.stopBits = QSerialPort::TwoStop;
    else
        return refuse(text, QStringLiteral("the stop bits \"%1\" are not 1, 1.5 or 2").arg(stop.toString()));

    return { result, QString() };
}

} // namespace koru
