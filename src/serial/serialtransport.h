#pragma once

#include "serial/hangupwatch.h"
#include "serial/transport.h"

#include <QSerialPort>

namespace koru {

// A local serial device through QSerialPort.
class SerialTransport final : public Transport
{
    Q_OBJECT

public:
    SerialTransport(const QString &path, QObject *parent);
    ~SerialTransport() override;

    // A tty opens at once: the outcome is reported before this returns.
    void open(const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    CommResult write(const QByteArray &bytes) override;
    QByteArray read() override;
    qint64 bytesAvailable() const override { return m_port.bytesAvailable(); }
    CommResult applySettings(const LineSettings &settings) override;
    int nativeHandle() const override;
    // What QSerialPort reported when the last open failed.
    QSerialPort::SerialPortError openError() const { return m_openError; }

private:
    CommResult openDevice(const LineSettings &settings);
    bool setLine(const LineSettings &settings);
    QString openFailure(QSerialPort::SerialPortError error) const;
    void onError(QSerialPort::SerialPortError error);
    void reportLoss(const QString &reason);

    QString m_path;
    QSerialPort m_port;
    HangupWatch m_hangup;
    LineSettings m_settings;
    bool m_inSettings = false;
    bool m_lost = false;
    QSerialPort::SerialPortError m_openError = QSerialPort::NoError;
};

} // namespace koru
