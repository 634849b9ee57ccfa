#pragma once

#include "serial/commresult.h"
#include "serial/commsettings.h"
#include "serial/openfailure.h"

#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace koru {

class Transport;

// The window's serial communications control: a port number that names a
// device or a network address, a settings string, an open flag, output and
// input of characters, and a notification raised as soon as one received
// character waits.
//
// What lies under it is chosen by the address at each open: a serial device
// ("/dev/ttyUSB0"), raw TCP to a serial device server ("tcp://HOST:PORT") or
// Telnet with COM port control ("rfc2217://HOST:PORT").
//
// Failures never throw: each operation returns a CommResult whose message
// names the port, its address and what went wrong; an open that fails also
// carries the failure as data, for the program to add its own advice.
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

    // Which address each port number opens: a device path, or a serial
    // device server as tcp://HOST:PORT or rfc2217://HOST:PORT.
    void setDevicePath(int port, const QString &address);
    QString devicePath(int port) const;

    CommResult setCommPort(int port);
    int commPort() const { return m_commPort; }

    CommResult setSettings(const QString &settings);
    QString settings() const { return m_settingsText; }

    // True starts opening the port named by CommPort with the current
    // Settings: nothing here waits. The outcome comes as openFinished(): for
    // a device (whose open does not block), or a failure found before
    // anything opens, before this returns; for a gateway from the event loop,
    // within Transport::kConnectTimeout. While a gateway's open is in
    // progress, asking again changes nothing; that open answers both.
    // False closes the port, or abandons an open in progress, which then
    // reports nothing. Closing a closed port is no failure.
    void setPortOpen(bool open);
    // True once an open has finished well, until the port is closed or lost.
    bool portOpen() const;
    // Between setPortOpen(true) and its openFinished().
    bool portOpening() const { return m_opening; }

    CommResult setOutput(const QString &text);
    QString input();
    // Characters received and not yet read (the control's InBufferCount):
    // those read into the port component and those still in the kernel.
    qint64 inBufferCount() const;
    qint16 commEvent() const { return m_commEvent; }

    // The message of the last line loss, for the operator; it answers every
    // send until the port is chosen or opened again.
    QString lineLostMessage() const { return m_lineLostMessage; }
    // Why the open port stopped working (lost, or a send refused), without its
    // COM number or the operator's way back: for a program that words the
    // failure in its own terms. Empty until then; cleared by the next open.
    QString lineFailureReason() const { return m_lineFailureReason; }

    // Receive threshold: OnComm is raised once this many characters wait.
    int rThreshold() const { return m_rThreshold; }

    // For tests and benchmarks: what is open underneath, or null.
    const Transport *transport() const { return m_transport; }

signals:
    void OnComm();
    // The end of an open: success, or the failure, whose OpenFailure says why.
    void openFinished(const koru::CommResult &result);

private:
    QString portLabel(int port) const;
    OpenFailure deviceOpenFailure(QSerialPort::SerialPortError error, const QString &path,
                                  const QString &systemText) const;
    void dropTransport();
    void onTransportOpenFailed(const QString &reason);
    void settleOpen(const CommResult &result);
    void finishOpen(quint64 generation, const CommResult &result);
    void onReadyRead();
    void onLost(const QString &reason);
    void closeLostLine(quint64 generation);

    Transport *m_transport = nullptr;
    QMap<int, QString> m_devicePaths;
    int m_commPort = 1;
    QString m_settingsText = QLatin1String(kSettings9600);
    LineSettings m_settings;
    qint16 m_commEvent = comEvNone;
    int m_rThreshold = 1;

    // A lost line is closed once, from the event loop, not from inside the
    // call that reported it (the transport's own bookkeeping still runs after
    // the signal). Until then the port counts as closed.
    bool m_lineLost = false;
    bool m_lastWords = false; // handing out what arrived just before a loss
    bool m_opening = false;
    LineSettings m_openedWith; // the settings the open in progress began with
    quint64 m_openGeneration = 0;
    QString m_lineLostMessage;
    QString m_lineFailureReason;
};

} // namespace koru
