#pragma once

#include "ctl/ctlcommandline.h"
#include "ctl/exchangereport.h"
#include "line/projectorline.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>

class QTimer;

namespace koru {

class TrafficLog;

namespace ctl {

// Runs one koru-ctl invocation on the event loop: opens the projector line,
// hands it the commands in order (a held command as a hold at its button's
// period), prints a line for each result, and then, if asked, checks the
// status once a second until it reads the wanted words. Stops at the first
// command that fails. Nothing blocks: the line's results and the status
// checks' timer are all events.
class CtlRunner : public QObject
{
    Q_OBJECT

public:
    CtlRunner(const CtlOptions &options, QTextStream &out, QTextStream &err, TrafficLog *log,
              QObject *parent = nullptr);
    ~CtlRunner() override;

    // Starts opening the port; the first command goes once it is open, and
    // the rest follows from the event loop and ends in finished().
    void start();

    // The exit status once finished; -1 before.
    int exitStatus() const { return m_exitStatus; }

signals:
    // Delivered from the event loop, also for a failure inside start().
    void finished(int exitStatus);

private:
    enum class Phase { Commands, Waiting, Done };

    void onOpened();
    void checkStatus();
    void onResult(const line::Result &result);
    void afterCommand(const line::Exchange &exchange);
    void afterStatusCheck(const line::Result &result);
    void startCommand();
    void beginWait();
    Millis replyWindow() const;
    Millis repeatPeriod() const;
    bool holding() const;
    Millis now() const;
    QString waitFailure() const;
    void finish(int status, const QString &message = QString());

    CtlOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    TrafficLog *m_log;
    line::ProjectorLine *m_line;
    QTimer *m_nextTimer; // the next status check
    QElapsedTimer m_clock;

    Phase m_phase = Phase::Commands;
    size_t m_index = 0;                 // of the command being run
    const Command *m_current = nullptr; // what the request in hand sends
    line::RequestId m_request = 0;      // the request in hand
    int m_transmission = 0;             // of the current command, from 0
    Millis m_sentAt { 0 };
    Millis m_waitStart { 0 };
    QString m_lastStatus;
    bool m_statusAnswered = false; // some status check of the wait got a reply
    int m_exitStatus = -1;
};

} // namespace ctl
} // namespace koru
