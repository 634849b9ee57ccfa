#pragma once

#include "line/judgement.h"
#include "protocol/catalogue.h"
#include "protocol/replyreading.h"
#include "serial/commresult.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <optional>

class QTimer;

namespace koru {
class MSComm;
}

namespace koru::line {

using RequestId = quint64;
using ResultHandler = std::function<void(const Result &)>;

// One projector line shared by any number of owners. The line owns its port;
// owners queue frames, exactly one frame is on the wire at a time, and each
// result goes back to the owner that asked. Bytes that arrive when no frame
// waits for them are thrown away before the next frame goes out, so no owner
// ever sees a reply meant for another; after a frame left unanswered the line
// keeps quiet a moment first, for a reply that is only late. Results are
// handed out from the event loop, in the order the frames ended; the queue is
// not bounded here (an owner that takes requests from a network bounds its own).
class ProjectorLine : public QObject
{
    Q_OBJECT

public:
    // `address`: a device path, tcp://HOST:PORT or rfc2217://HOST:PORT;
    // `settings`: the line settings string ("19200,n,8,1").
    ProjectorLine(const QString &address, const QString &settings, QObject *parent = nullptr);
    ~ProjectorLine() override;

    QString address() const;

    // Starts opening (or reopening after a loss); nothing waits. opened() or
    // openFailed() follows: for a device before this returns, for a gateway
    // from the event loop. A line open or opening already is left as it is.
    // Frames submitted meanwhile wait for the outcome: they go out once the
    // line is open, or end with the failure.
    void open();
    // Also abandons an open in progress, which then reports nothing.
    void close();
    bool isOpen() const;
    bool isOpening() const;

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
    // The line could not be opened; `result` carries the OpenFailure, for the
    // owner to word with its own options.
    void openFailed(const koru::CommResult &result);
    // The line hung up; every request in flight or queued got LineLost.
    // `reason` says what happened and completes "was lost: "; it names
    // neither the port's COM number nor any program's way back, which the
    // owner words with its own options.
    void lost(const QString &reason);
    // Every chunk as it crossed the wire, for a transcript.
    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);

private:
    struct Request
    {
        RequestId id = 0;
        QPointer<QObject> owner;
        const QObject *ownerKey = nullptr; // still comparable while the owner is destroyed
        QByteArray frame;
        ResultHandler handler;
        Millis replyWait { 0 };
        Millis period { 0 };  // a hold's; zero for a single frame
        Millis firstSend { 0 }; // a hold's first transmission, on the line's clock
        Millis queuedAt { 0 };  // when it joined the queue, or when a hold's repeat was due
        int sends = 0;
        std::optional<Millis> due; // a resting hold's next transmission, once its result is out
    };
    // A result on its way to its owner.
    struct Delivery
    {
        RequestId id = 0;
        QPointer<QObject> owner;
        const QObject *ownerKey = nullptr;
        ResultHandler handler;
        Result result;
    };

    RequestId enqueue(QObject *owner, const QByteArray &frame, ResultHandler handler, Millis replyWait,
                      Millis period);
    Millis now() const;
    void watch(QObject *owner);
    void dropOwner(const QObject *owner);
    void schedulePump();
    void pump();
    void transmit(Request request);
    void onComm();
    void onOpenFinished(const CommResult &result);
    void finishFrame();
    void conclude(Request request, Result result);
    static QString refusal(const QByteArray &words);
    void keepUnasked(const QByteArray &bytes);
    void endAll(const QString &reason);
    QString failureReason() const;
    void deliver(const Request &request, Result result);
    void scheduleFlush();
    void flush();
    void armRest(RequestId id);
    void startRestTimer();
    void wakeHolds();

    QString m_address;
    QString m_settings;
    MSComm *m_comm;
    QTimer *m_replyTimer; // the reply wait of the frame in flight
    QTimer *m_restTimer;  // the next resting hold that is due
    QTimer *m_quietTimer; // the end of the pause after a frame left without its CR
    QTimer *m_refusalTimer; // how long a first unreadable reply waits for a gateway to close
    QElapsedTimer m_clock;
    RequestId m_lastId = 0;
    bool m_open = false;
    bool m_network = false; // a gateway's address, not a device
    bool m_heard = false;   // the projector has answered since the line opened
    QByteArray m_unasked;   // bytes before that which no frame asked for
    bool m_pumpScheduled = false;
    bool m_flushScheduled = false;
    bool m_flushing = false;

    std::deque<Request> m_queue;
    std::optional<Request> m_inFlight;
    // A first reply that did not read, held back in case it was a gateway's
    // refusal (see kGatewayRefusalGrace).
    struct Suspect
    {
        Request request;
        Result result;
    };
    std::optional<Suspect> m_suspect;
    bool m_inFlightStopped = false; // stop() came while it was on the wire
    Millis m_sentAt { 0 };
    Millis m_quietUntil { 0 };
    std::optional<Millis> m_drainUntil; // how long the next frame may wait for unread bytes
    QByteArray m_reply;
    // Holds between two transmissions.
    std::map<RequestId, Request> m_resting;
    std::deque<Delivery> m_deliveries;
    QSet<QObject *> m_watched;
};

} // namespace koru::line
