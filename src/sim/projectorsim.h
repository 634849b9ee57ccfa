#pragma once

#include "sim/framereader.h"
#include "sim/linepacer.h"
#include "sim/projectorstate.h"
#include "sim/ptyline.h"
#include "sim/simoptions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

#include <chrono>
#include <deque>

class QSocketNotifier;
class QTimer;

namespace koru::sim {

// A projector on the far end of a pseudo-terminal, for running the panel
// without hardware. It reads command frames from the line, answers them from
// a ProjectorState after the reply delay, and sends its replies no faster
// than the line speed allows. Everything runs from the event loop of the
// thread it lives in: socket notifiers for the line, timers for the delay and
// the pacing.
class ProjectorSim : public QObject
{
    Q_OBJECT

public:
    explicit ProjectorSim(const SimOptions &options, QObject *parent = nullptr);
    ~ProjectorSim() override;

    // Opens the pseudo-terminal. Once only; on failure `error` says why.
    bool start(QString *error = nullptr);
    // The slave device to open as the serial port, e.g. "/dev/pts/7"; empty
    // before start().
    QString devicePath() const;
    // Started, not hung up, and the line has not failed.
    bool isRunning() const;
    bool hasHungUp() const { return m_hungUp; }

    // The projector's own speed setting: it listens and answers at this
    // speed only, whatever the peer has set on its end of the line.
    void setBaud(int baud);
    int baud() const { return m_pacer.baud(); }
    void setReplyDelay(std::chrono::milliseconds delay);
    std::chrono::milliseconds replyDelay() const { return m_options.replyDelay; }
    // The new mode applies from now on: replies still waiting are dropped.
    void setFaultMode(FaultMode mode);
    FaultMode faultMode() const { return m_options.fault; }
    // Hang up on receipt of frame number `frames`, counted from start; 0 never.
    void setHangUpAfterFrames(int frames);
    // Closes the line at once; the simulator is idle afterwards.
    void hangUp();

    qint64 framesReceived() const { return m_framesReceived; }
    qint64 framesRejected() const { return m_framesRejected; }
    qint64 bytesReceived() const { return m_bytesReceived; }
    qint64 bytesSent() const { return m_bytesSent; }
    qint64 bytesDropped() const { return m_bytesDropped; }
    // Received while the peer's line speed differed from ours; never answered.
    qint64 bytesMisheard() const { return m_bytesMisheard; }

    // The projector, to look at its state; pass the simulator's clock.
    ProjectorState &projector() { return m_state; }
    std::chrono::milliseconds clock() const;

    // Replies that have not gone out yet (waiting for their delay or for the
    // line) are bounded; a peer that sends frames much faster than the line
    // carries the replies loses the newest ones beyond this.
    static constexpr qsizetype MaxOutgoing = 64 * 1024;
    static constexpr std::chrono::milliseconds PacingInterval { 5 };

signals:
    // A frame arrived (its bytes up to the CR, which is not included; at most
    // the first three of an overlong one).
    void frameReceived(const QByteArray &frame);
    // The line was closed by the hang-up fault or by hangUp().
    void hungUp();
    // Reading or writing the line failed; the simulator stops using it.
    void lineFailed(const QString &error);

private:
    void onReadable();
    void onWritable();
    void onReplyDue();
    void respond(const Frame &frame);
    void queueReply(const QByteArray &reply);
    void scheduleReplyTimer();
    void startTransmitting();
    void transmit();
    void fail(const QString &error);
    void stopActivity();

    struct PendingReply
    {
        std::chrono::milliseconds due;
        QByteArray bytes;
    };

    SimOptions m_options;
    QElapsedTimer m_clock;
    PtyLine m_line;
    FrameReader m_reader;
    ProjectorState m_state;
    LinePacer m_pacer;
    QRandomGenerator m_random;

    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_replyTimer;
    QTimer *m_pacingTimer;

    std::deque<PendingReply> m_pending;
    qsizetype m_pendingBytes = 0;
    QByteArray m_outgoing;

    bool m_started = false;
    bool m_hungUp = false;
    bool m_failed = false;
    qint64 m_framesReceived = 0;
    qint64 m_framesRejected = 0;
    qint64 m_bytesReceived = 0;
    qint64 m_bytesSent = 0;
    qint64 m_bytesDropped = 0;
    qint64 m_bytesMisheard = 0;
};

} // namespace koru::sim
