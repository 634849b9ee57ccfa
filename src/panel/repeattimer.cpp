#include "panel/repeattimer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

namespace koru {

namespace {

timespec toTimespec(std::chrono::milliseconds interval)
{
    const auto count = interval.count();
    return timespec { time_t(count / 1000), long(count % 1000) * 1000000L };
}

} // namespace

RepeatTimer::RepeatTimer(QObject *parent)
    : QObject(parent)
    , m_fd(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
        m_notifier->setEnabled(false);
        connect(m_notifier, &QSocketNotifier::activated, this, &RepeatTimer::onReadable);
    } else {
        m_fallback = new QTimer(this);
        m_fallback->setTimerType(Qt::PreciseTimer);
        connect(m_fallback, &QTimer::timeout, this, &RepeatTimer::timeout);
    }
}

RepeatTimer::~RepeatTimer()
{
    if (m_fd >= 0) {
        delete m_notifier; // before its descriptor goes
        ::close(m_fd);
    }
}

void RepeatTimer::setInterval(std::chrono::milliseconds interval)
{
    m_interval = interval;
    if (m_fallback)
        m_fallback->setInterval(interval);
    else if (m_active)
        arm();
}

void RepeatTimer::start()
{
    m_active = true;
    if (m_fallback)
        m_fallback->start();
    else
        arm();
}

void RepeatTimer::stop()
{
    m_active = false;
    if (m_fallback) {
        m_fallback->stop();
        return;
    }
    const itimerspec off {};
    ::timerfd_settime(m_fd, 0, &off, nullptr);
    m_notifier->setEnabled(false);
}

int RepeatTimer::remainingTime() const
{
    if (!m_active)
        return -1;
    if (m_fallback)
        return m_fallback->remainingTime();
    itimerspec current {};
    ::timerfd_gettime(m_fd, &current);
    return int(current.it_value.tv_sec * 1000 + current.it_value.tv_nsec / 1000000);
}

void RepeatTimer::arm()
{
    // A zero interval would disarm a timerfd; QTimer ticks as often as it
    // can then, and the shortest period that makes sense here is 1 ms.
    const std::chrono::milliseconds period = std::max(m_interval, std::chrono::milliseconds(1));
    const itimerspec setting { toTimespec(period), toTimespec(period) };
    ::timerfd_settime(m_fd, 0, &setting, nullptr);
    std::uint64_t stale = 0;
    while (::read(m_fd, &stale, sizeof stale) < 0 && errno == EINTR) {
    }
    m_notifier->setEnabled(true);
}

void RepeatTimer::onReadable()
{
    std::uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations || !m_active)
        return;
    emit timeout(); // once, however many periods went by
}

} // namespace koru
