#include "support/latenessprobe.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace koru::test {

LatenessProbe::LatenessProbe(std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent)
    , m_interval(interval)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &LatenessProbe::tick);
    m_lateness.reserve(1 << 14);
}

void LatenessProbe::start()
{
    arm();
}

void LatenessProbe::stop()
{
    m_timer->stop();
}

double LatenessProbe::takeWorstMs()
{
    return std::exchange(m_worst, 0.0);
}

void LatenessProbe::arm()
{
    m_due = std::chrono::steady_clock::now() + m_interval;
    m_timer->start(m_interval);
}

void LatenessProbe::tick()
{
    const double late = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_due).count();
    m_lateness.push_back(late);
    m_worst = std::max(m_worst, late);
    arm();
}

} // namespace koru::test
