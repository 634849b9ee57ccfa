#pragma once

#include <QObject>

#include <chrono>
#include <vector>

class QTimer;

namespace koru::test {

// A timer on the event loop that asks to be woken every `interval` and notes
// how late each wake-up came: the event loop must keep turning however much
// arrives on the line. It re-arms itself at each tick, so one late tick is
// counted once and does not shift the ones after it.
class LatenessProbe : public QObject
{
public:
    LatenessProbe(std::chrono::milliseconds interval, QObject *parent);

    void start();
    void stop();
    // Lateness of every tick so far, in milliseconds.
    const std::vector<double> &latenessMs() const { return m_lateness; }
    // The worst lateness since the previous call (or the start), in milliseconds.
    double takeWorstMs();

private:
    void arm();
    void tick();

    std::chrono::milliseconds m_interval;
    QTimer *m_timer;
    std::chrono::steady_clock::time_point m_due;
    std::vector<double> m_lateness;
    double m_worst = 0;
};

} // namespace koru::test
