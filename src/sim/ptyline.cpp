#include "sim/ptyline.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
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

struct Speed
{
    speed_t code;
    int baud;
};
constexpr Speed kSpeeds[] = {
    { B50, 50 }, { B75, 75 }, { B110, 110 }, { B134, 134 }, { B150, 150 }, { B200, 200 },
    { B300, 300 }, { B600, 600 }, { B1200, 1200 }, { B1800, 1800 }, { B2400, 2400 },
    { B4800, 4800 }, { B9600, 9600 }, { B19200, 19200 }, { B38400, 38400 }, { B57600, 57600 },
    { B115200, 115200 }, { B230400, 230400 }, { B460800, 460800 }, { B500000, 500000 },
    { B576000, 576000 }, { B921600, 921600 }, { B1000000, 1000000 }, { B1152000, 1152000 },
    { B1500000, 1500000 }, { B2000000, 2000000 }, { B2500000, 2500000 }, { B3000000, 3000000 },
    { B3500000, 3500000 }, { B4000000, 4000000 },
};

} // namespace

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(QString *error, int baud)
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
        && (::cfmakeraw(&tio), true)
        && setNonBlocking(master) && setCloseOnExec(master) && setCloseOnExec(slave);
    for (const Speed &speed : kSpeeds) {
        if (speed.baud == baud)
            ::cfsetspeed(&tio, speed.code);
    }
    if (!ok || ::tcsetattr(slave, TCSANOW, &tio) != 0) {
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

bool PtyLine::isStandardSpeed(int baud)
{
    return std::any_of(std::begin(kSpeeds), std::end(kSpeeds), [baud](const Speed &speed) { return speed.baud == baud; });
}

int PtyLine::lineSpeed() const
{
    termios tio {};
    if (m_slaveKeeper < 0 || ::tcgetattr(m_slaveKeeper, &tio) != 0)
        return 0;
    const speed_t code = ::cfgetospeed(&tio);
    for (const Speed &speed : kSpeeds) {
        if (speed.code == code)
            return speed.baud;
    }
    return 0;
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
