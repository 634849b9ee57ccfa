#pragma once

#include "serial/commresult.h"
#include "serial/commsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>

namespace koru {

// What MSComm opens underneath: a serial device, a raw TCP connection or a
// Telnet session with COM port control. Failure messages from here say what
// went wrong without naming the port; MSComm puts the port's name in front.
class Transport : public QObject
{
    Q_OBJECT

public:
    // The receive buffer holds at most this many bytes; the rest waits in
    // the kernel (or at the far end) until it is read, so nothing is lost.
    static constexpr qsizetype kReadBufferSize = 1024;
    // How long a gateway has from the start of an open to its end: the
    // connect, and for RFC 2217 the negotiation after it. A settings change
    // on an open line has as long to be confirmed.
    static constexpr std::chrono::milliseconds kConnectTimeout { 3000 };

    using QObject::QObject;

    // Starts opening with `settings` in force (as far as the transport can set
    // them) and returns at once: nothing here waits. Exactly one of opened()
    // or openFailed() follows, from the event loop or from inside this call.
    virtual void open(const LineSettings &settings) = 0;
    // Closing a closed transport does nothing. Emits nothing; an open still
    // in progress is abandoned, and neither of its signals follows.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Hands every byte to the kernel before returning, unless it refuses.
    virtual CommResult write(const QByteArray &bytes) = 0;
    // Up to kReadBufferSize bytes that wait; empty when nothing does.
    virtual QByteArray read() = 0;
    virtual qint64 bytesAvailable() const = 0;
    // Takes effect on the open line at once; while closed it only returns
    // success (the next open uses the settings MSComm hands it).
    virtual CommResult applySettings(const LineSettings &settings) = 0;
    // The open descriptor underneath, -1 when closed; for checks from tests.
    virtual int nativeHandle() const = 0;

signals:
    void opened();
    // `reason` says what went wrong, without the port's name.
    void openFailed(const QString &reason);
    void readyRead();
    // The far end went away or the line failed; `reason` completes "was lost: "
    // and says what happened only: what to do about it is the program's to say.
    // Emitted at most once per open, possibly from inside a call to this object.
    void lost(const QString &reason);
};

} // namespace koru
