#pragma once

#include "serial/commresult.h"
#include "serial/commsettings.h"

#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace koru {

// The window's serial communications control: a port number that names a
// device, a settings string, an open flag, output and input of characters, and
// a notification raised as soon as one received character waits.
//
// Failures never throw: each operation returns a CommResult whose message
// names the port, its device and what the operator can do about it.
class MSComm : public QObject
{
    Q_OBJECT

public:
    // Cause of the current OnComm notification.
    enum CommEventCode : qint16 {
        comEvNone = 0,
        comEvReceive = 2,        // characters were received
        comEventLineLost = 1100, // the line hung up; the port has been closed
    };

    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    // The devices COM1 and COM2 open unless the command line names others.
    static constexpr const char *kDefaultCom1 = "/dev/ttyS0";
    static constexpr const char *kDefaultCom2 = "/dev/ttyS1";

    // Which device each port number opens.
    void setDevicePath(int port, const QString &path);
    QString devicePath(int port) const;

    CommResult setCommPort(int port);
    int commPort() const { return m_commPort; }

    CommResult setSettings(const QString &settings);
    QString settings() const { return m_settingsText; }

    CommResult setPortOpen(bool open);
    bool portOpen() const;

    CommResult setOutput(const QString &text);
    QString input();
    qint16 commEvent() const { return m_commEvent; }

    // The message of the last line loss, for the operator.
    QString lineLostMessage() const { return m_lineLostMessage; }

    // Receive threshold: OnComm is raised once this many characters wait.
    int rThreshold() const { return m_rThreshold; }

    // For tests and benchmarks: the port underneath, read-only.
    const QSerialPort &port() const { return m_port; }

signals:
    void OnComm();

private:
    QString portLabel(int port) const;
    QString openFailureMessage(QSerialPort::SerialPortError error, const QString &path) const;
    CommResult applySettings(const LineSettings &settings);
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void closeLostLine(quint64 generation);

    QSerialPort m_port;
    QMap<int, QString> m_devicePaths;
    int m_commPort = 1;
    QString m_settingsText = QLatin1String(kSettings9600);
    LineSettings m_settings;
    qint16 m_commEvent = comEvNone;
    int m_rThreshold = 1;

    // A hung-up line is closed once, from the event loop, not from inside the
    // QSerialPort call that reported it (its own bookkeeping still runs after
    // the error signal). Until then the port counts as closed.
    bool m_lineLost = false;
    bool m_inSettings = false;
    quint64 m_openGeneration = 0;
    QString m_lineLostMessage;
};

} // namespace koru
