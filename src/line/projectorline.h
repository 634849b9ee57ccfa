#pragma once

#include "protocol/catalogue.h"
#include "protocol/replyreading.h"
#include "serial/commresult.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace koru::line {

// How one frame fared on the line.
enum class Outcome {
    Answered,   // ACK CR, or a query reply that reads
    NoReply,    // nothing came within the reply wait
    Refused,    // NAK CR
    Unreadable, // something came, but not an acknowledgement or a readable reply
    LineLost,   // the line went (or was not open) before the frame was answered
};

// What an owner gets back for one frame.
struct Result
{
    Outcome outcome = Outcome::NoReply;
    QByteArray frame;                // as sent, CR included
    QByteArray reply;                // raw bytes up to and including the CR
    Millis elapsed { 0 };            // from the send to the CR or the end of the reply wait
    std::optional<Reading> reading;  // the four queries, when the reply reads
    QString lineLostReason;          // LineLost: why, for the owner to word
};

using RequestId = quint64;
using ResultHandler = std::function<void(const Result &)>;

// One projector line shared by any number of owners. The line owns its port;
// owners queue frames, exactly one frame is on the wire at a time, and each
// result goes back to the owner that asked. Bytes that arrive when no frame
// waits for them are thrown away before the next frame goes out, so no owner
// ever sees a reply meant for another. Everything runs on the event loop.
class ProjectorLine : public QObject
{
    Q_OBJECT

public:
    // `address`: a device path, tcp://HOST:PORT or rfc2217://HOST:PORT;
    // `settings`: the line settings string ("19200,n,8,1").
    ProjectorLine(const QString &address, const QString &settings, QObject *parent = nullptr);
    ~ProjectorLine() override;

    QString address() const;

    // Opens (or reopens after a loss); the failure as a value.
    CommResult open();
    void close();
    bool isOpen() const;

    // Queues one frame. `handler` runs once, from the event loop, unless
    // `owner` is destroyed first (its requests are then dropped unsent).
    RequestId submit(QObject *owner, const QByteArray &frame, ResultHandler handler,
                     Millis replyWait = kReplyWait);

    // A hold: `frame` sent now and every `period` until stop(); each
    // transmission's result goes to `handler`. Stops by itself when the owner
    // goes or the line is lost.
    RequestId hold(QObject *owner, const QByteArray &frame, Millis period, ResultHandler handler,
                   Millis replyWait = kReplyWait);

    // Withdraws a queued request or ends a hold; the frame in flight still
    // finishes on the wire, but its result is not delivered.
    void stop(RequestId id);

    // Frames waiting, not counting the one in flight.
    int queued() const;

signals:
    void opened();
    // The line hung up; every request in flight or queued got LineLost.
    void lost(const QString &reason);
    // Every chunk as it crossed the wire, for a transcript.
    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);
};

} // namespace koru::line
