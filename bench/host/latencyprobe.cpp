#include "host/latencyprobe.h"

#include "probe/clock.h"

#include <QTimer>

namespace koru::bench {

LatencyProbe::LatencyProbe(std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent)
    , m_interval(interval)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &LatencyProbe::tick);
    m_lateness.reserve(1 << 14);
}

void LatencyProbe::start()
{
    arm();
}

void LatencyProbe::stop()
{
    m_timer->stop();
}

void LatencyProbe::arm()
{
    m_dueNs = monotonicNs() + std::chrono::nanoseconds(m_interval).count();
    m_timer->start(m_interval);
}

void LatencyProbe::tick()
{
    m_lateness.push_back(double(monotonicNs() - m_dueNs) / 1e6);
    arm();
}

} // namespace koru::bench
