#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringView>

namespace koru {

enum class TrafficDirection { Sent, Received };

// One line of the traffic log, without the newline: local time with
// milliseconds and UTC offset, TX or RX, the port, the bytes as the monitor
// renders them (in quotes) and in hex:
// 2024-05-06T22:00:00.125+02:00  TX  /dev/ttyUSB0  " C 0 0 CR "  43 30 30 0d
QString formatTrafficLine(const QDateTime &when, TrafficDirection direction, QStringView port,
                          QByteArrayView bytes);

// A transcript of what went over the line, for diagnosis: one line per frame
// sent and per chunk received, appended to a file and flushed at each line,
// so that it is complete up to the moment a program dies or is killed.
class TrafficLog
{
public:
    // Creates the file or appends to it. False, with the reason in `error`,
    // when it cannot be opened for writing.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_file.isOpen(); }

    void sent(QStringView port, QByteArrayView bytes) { write(TrafficDirection::Sent, port, bytes); }
    void received(QStringView port, QByteArrayView bytes) { write(TrafficDirection::Received, port, bytes); }

private:
    void write(TrafficDirection direction, QStringView port, QByteArrayView bytes);

    QFile m_file;
    bool m_writeFailed = false; // reported once, not at every line
};

} // namespace koru
