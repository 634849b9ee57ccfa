#include "pty.h"

#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace koru::test {

PtyPair::PtyPair()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    termios tio {};
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_master = master;
    m_slaveKeeper = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    hangUp();
}

void PtyPair::hangUp()
{
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeeper = -1;
    m_master = -1;
}

QByteArray PtyPair::readAvailable()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0) {
            result.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return result;
}

QByteArray PtyPair::readAtLeast(qsizetype count, std::chrono::milliseconds timeout)
{
    QByteArray result = readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (result.size() < count && clock.elapsed() < timeout.count()) {
        QTest::qWait(2);
        result += readAvailable();
    }
    return result;
}

QByteArray PtyPair::readFor(std::chrono::milliseconds duration)
{
    QByteArray result = readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < duration.count()) {
        QTest::qWait(2);
        result += readAvailable();
    }
    return result;
}

bool PtyPair::write(const QByteArray &bytes)
{
    // The kernel buffers only a few kilobytes; while it is full the code under
    // test needs the event loop to read, so keep it running.
    qsizetype done = 0;
    QElapsedTimer clock;
    clock.start();
    while (m_master >= 0 && done < bytes.size() && clock.elapsed() < 10000) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EAGAIN)
            QTest::qWait(1);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return done == bytes.size();
}

} // namespace koru::test
