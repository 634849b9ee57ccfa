#pragma once

#include "protocol/catalogue.h"
#include "serial/commresult.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace koru::line {
class ProjectorLine;
}

namespace koru::bridge {

// A line that cannot be opened, or is lost, is tried again: first after
// `first`, each time twice as long, never longer than `longest`.
struct ReopenTimes
{
    Millis first { std::chrono::seconds(1) };
    Millis longest { std::chrono::seconds(30) };
};

// The wait before the next try, after waiting `previous` (0: none yet).
Millis nextReopenDelay(Millis previous, ReopenTimes times);

// Keeps one projector line open: opens it, and whenever it fails or is lost,
// tries again with a growing pause. Says so once per change, not at every try.
// Nothing here waits: a try starts the open, and its outcome comes back as
// the line's signal, so a gateway that never answers holds up only its own
// line.
class LineKeeper : public QObject
{
    Q_OBJECT

public:
    LineKeeper(line::ProjectorLine *line, ReopenTimes times, QObject *parent = nullptr);

    // The first try, at once.
    void start();
    // No more tries; what the line does from now on is not ours to mend.
    void stop();

signals:
    void notice(const QString &text);

private:
    void tryOpen();
    void onOpenFailed(const CommResult &result);
    void scheduleRetry();

    line::ProjectorLine *m_line;
    ReopenTimes m_times;
    QTimer m_retry;
    Millis m_delay { 0 };
    bool m_stopped = false;
    QString m_lastFailure; // what was said last, so that a repeat is not said again
};

} // namespace koru::bridge
