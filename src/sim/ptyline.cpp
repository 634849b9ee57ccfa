#include "sim/ptyline.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace koru::sim {

namespace {

QString describeErrno(const char *what, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(error)));
}

bool setCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == 0;
}

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(QString *error)
{
    auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (isOpen())
        return fail(QStringLiteral("the pseudo-terminal is already open"));

    int master = -1;
    int slave = -1;
    char name[256] = {};
    // The slave returned by openpty is opened without becoming our controlling
    // terminal; it serves as the descriptor we keep open.
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return fail(describeErrno("openpty", errno));

    termios tio {};
    const bool ok = ::tcgetattr(slave, &tio) == 0
        && (::cfmakeraw(&tio), ::tcsetattr(slave, TCSANOW, &tio) == 0)
        && setNonBlocking(master) && setCloseOnExec(master) && setCloseOnExec(slave);
    if (!ok) {
        const int saved = errno;
        ::close(master);
        ::close(slave);
        return fail(describeErrno("setting up the pseudo-terminal", saved));
    }

    m_master = master;
    m_slaveKeeper = slave;
    m_slavePath = QString::fromLocal8Bit(name);
    return true;
}

PtyLine::ReadResult PtyLine::read(qsizetype limit)
{
    ReadResult result;
    if (!isOpen()) {
        result.status = Status::Failed;
        result.error = QStringLiteral("the line is closed");
        return result;
    }
    result.bytes.resize(limit);
    ssize_t n;
    do {
        n = ::read(m_master, result.bytes.data(), size_t(limit));
    } while (n < 0 && errno == EINTR);

    if (n > 0) {
        result.bytes.resize(n);
        return result;
    }
    result.bytes.clear();
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        result.status = Status::WouldBlock;
        return result;
    }
    // EIO (no slave open any more) or end of file: nothing more will come.
    result.status = Status::Failed;
    result.error = n == 0 ? QStringLiteral("end of file on the pseudo-terminal")
                          : describeErrno("reading the pseudo-terminal", errno);
    return result;
}

PtyLine::WriteResult PtyLine::write(QByteArrayView bytes)
{
    WriteResult result;
    if (!isOpen()) {
        result.status = Status::Failed;
        result.error = QStringLiteral("the line is closed");
        return result;
    }
    if (bytes.isEmpty())
        return result;
    ssize_t n;
    do {
        n = ::write(m_master, bytes.data(), size_t(bytes.size()));
    } while (n < 0 && errno == EINTR);

    if (n >= 0) {
        result.written = n;
        return result;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        result.status = Status::WouldBlock;
        return result;
    }
    result.status = Status::Failed;
    result.error = describeErrno("writing the pseudo-terminal", errno);
    return result;
}

void PtyLine::close()
{
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeeper = -1;
    m_master = -1;
}

} // namespace koru::sim
