#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;
class QTimer;

namespace koru {

// A repeating timer whose ticks keep to the microsecond rather than to the
// millisecond. QTimer's ticks come from the event loop's poll timeout, which
// is counted in whole milliseconds, so a held button would go out up to a
// millisecond late on every tick. Here the kernel keeps the period (a timerfd)
// and the event loop only waits for its descriptor to become readable. It
// behaves as QTimer does: start() and a new interval restart the count, and a
// tick missed while the thread was busy is not made up for.
class RepeatTimer : public QObject
{
    Q_OBJECT

public:
    explicit RepeatTimer(QObject *parent = nullptr);
    ~RepeatTimer() override;

    void setInterval(std::chrono::milliseconds interval);
    int interval() const { return int(m_interval.count()); }
    std::chrono::milliseconds intervalAsDuration() const { return m_interval; }

    void start();
    void stop();
    bool isActive() const { return m_active; }
    // Milliseconds to the next tick, -1 when stopped (as QTimer).
    int remainingTime() const;

signals:
    void timeout();

private:
    void arm();
    void onReadable();

    std::chrono::milliseconds m_interval { 0 };
    bool m_active = false;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_fallback = nullptr; // only if the kernel has no timerfd for us
};

} // namespace koru
