#pragma once

#include <QObject>

class QSocketNotifier;

namespace koru {

// Notices that a terminal device hung up (its adapter unplugged, a
// pseudo-terminal's far end closed) by the kernel's own word: poll() on the
// descriptor reports POLLHUP or POLLERR, and a read returns 0. Qt's serial
// port reports such a read differently from one Qt version to the next (an
// error code on Qt 6.4, nothing at all on Qt 6.8), so the transport does not
// depend on it.
//
// The watch keeps a duplicate of the descriptor with an exception notifier on
// it: both event dispatchers wake such a notifier for POLLERR (and the plain
// one for POLLHUP too), never for waiting data, so it costs nothing while the
// line works and does not compete with the port's own reading.
class HangupWatch : public QObject
{
    Q_OBJECT

public:
    explicit HangupWatch(QObject *parent);
    ~HangupWatch() override;

    // Watches `fd` (which stays the caller's) until stop(); -1 stops.
    void watch(int fd);
    void stop();

    // Whether the kernel says `fd` has hung up, at this moment.
    static bool hasHungUp(int fd);

signals:
    // Once per watch.
    void hungUp();

private:
    void onException();

    QSocketNotifier *m_notifier = nullptr;
    int m_fd = -1;
};

} // namespace koru
