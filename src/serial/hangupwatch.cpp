#include "serial/hangupwatch.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace koru {

HangupWatch::HangupWatch(QObject *parent)
    : QObject(parent)
{
}

HangupWatch::~HangupWatch()
{
    stop();
}

void HangupWatch::watch(int fd)
{
    stop();
    if (fd < 0)
        return;
    // A descriptor of its own: a second notifier on the port's own number
    // would clash with Qt's in the event dispatcher.
    m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HangupWatch::onException);
    // The far end may have gone between the open and now: no wake-up would
    // come for what was already there when the notifier was made.
    if (hasHungUp(m_fd))
        QMetaObject::invokeMethod(this, &HangupWatch::onException, Qt::QueuedConnection);
}

void HangupWatch::stop()
{
    // The notifier leaves the dispatcher before its descriptor is closed; it
    // is deleted later, since this may run inside its own signal.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool HangupWatch::hasHungUp(int fd)
{
    pollfd probe { fd, POLLIN, 0 };
    return fd >= 0 && ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void HangupWatch::onException()
{
    if (m_fd < 0 || !hasHungUp(m_fd))
        return; // urgent data, or a wake-up from before a stop
    stop();
    emit hungUp();
}

} // namespace koru
