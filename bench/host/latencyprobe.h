#pragma once

#include <QObject>

#include <chrono>
#include <cstdint>
#include <vector>

class QTimer;

namespace koru::bench {

// A timer on the event loop that asks to be woken every `interval` and notes
// how late each wake-up came. It re-arms itself at each tick, so one late
// tick is counted once and does not shift the ones after it.
class LatencyProbe : public QObject
{
public:
    LatencyProbe(std::chrono::milliseconds interval, QObject *parent);

    void start();
    void stop();
    // Lateness of every tick so far, in milliseconds.
    const std::vector<double> &latenessMs() const { return m_lateness; }

private:
    void arm();
    void tick();

    std::chrono::milliseconds m_interval;
    QTimer *m_timer;
    std::int64_t m_dueNs = 0;
    std::vector<double> m_lateness;
};

} // namespace koru::bench
