#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringView>

#include <optional>

namespace koru {

// The two line settings the projector works at.
inline constexpr char kSettings19200[] = "19200,N,8,1";
inline constexpr char kSettings9600[] = "9600,N,8,1";

// Line parameters as the settings string "19200,N,8,1" gives them.
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const LineSettings &a, const LineSettings &b)
    {
        return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits
            && a.stopBits == b.stopBits;
    }
};

struct ParsedSettings
{
    std::optional<LineSettings> settings;
    QString error; // why the string was refused; empty on success
};

// Strict: exactly four comma-separated fields, no blanks; speed a positive
// decimal number; parity one of N, E, O, M, S (either case); data bits 5 to 8;
// stop bits 1, 1.5 or 2. Anything else is refused with the reason, never
// replaced by a default.
ParsedSettings parseCommSettings(QStringView text);

} // namespace koru
