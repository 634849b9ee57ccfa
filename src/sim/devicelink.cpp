#include "sim/devicelink.h"

#include <QFile>
#include <QLockFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace koru::sim {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

DeviceLink::DeviceLink() = default;

DeviceLink::~DeviceLink()
{
    remove();
}

bool DeviceLink::create(const QString &linkPath, const QString &target, bool force, QString *error)
{
    remove();
    auto lock = std::make_unique<QLockFile>(linkPath + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // stale only when its owner is gone, however old
    if (!lock->tryLock(0)) {
        qint64 owner = 0;
        QString host;
        QString application;
        lock->getLockInfo(&owner, &host, &application);
        if (lock->error() == QLockFile::LockFailedError && !force) {
            *error = QStringLiteral("%1 belongs to a simulator that is still running (process %2); "
                                    "stop it first, or give --force to take the link over")
                         .arg(linkPath)
                         .arg(owner);
            return false;
        }
        if (lock->error() != QLockFile::LockFailedError) {
            *error = QStringLiteral("cannot create the lock file %1.lock").arg(linkPath);
            return false;
        }
        lock.reset(); // taken over by force: the lock stays with its owner
    }
    const QByteArray link = QFile::encodeName(linkPath);
    const QByteArray dest = QFile::encodeName(target);

    struct stat info {};
    if (::lstat(link.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = QStringLiteral("refusing to replace %1: it exists and is not a symbolic link").arg(linkPath);
            return false;
        }
        // Swap the old link for the new one in one step: make the new link
        // under a temporary name beside it, then rename it over the old one.
        const QByteArray temporary = link + ".koru-sim-" + QByteArray::number(qint64(::getpid()));
        ::unlink(temporary.constData());
        if (::symlink(dest.constData(), temporary.constData()) != 0) {
            *error = QStringLiteral("cannot create link %1: %2").arg(linkPath, systemError(errno));
            return false;
        }
        if (::rename(temporary.constData(), link.constData()) != 0) {
            const int saved = errno;
            ::unlink(temporary.constData());
            *error = QStringLiteral("cannot replace link %1: %2").arg(linkPath, systemError(saved));
            return false;
        }
    } else if (errno != ENOENT) {
        *error = QStringLiteral("cannot use %1 for the link: %2").arg(linkPath, systemError(errno));
        return false;
    } else if (::symlink(dest.constData(), link.constData()) != 0) {
        *error = QStringLiteral("cannot create link %1: %2").arg(linkPath, systemError(errno));
        return false;
    }
    m_path = linkPath;
    m_target = target;
    m_lock = std::move(lock);
    return true;
}

void DeviceLink::remove()
{
    if (m_path.isEmpty())
        return;
    const QByteArray link = QFile::encodeName(m_path);
    // Someone may have replaced the link meanwhile; theirs stays.
    char buffer[4096];
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    if (n >= 0 && QByteArray(buffer, n) == QFile::encodeName(m_target))
        ::unlink(link.constData());
    m_path.clear();
    m_target.clear();
    m_lock.reset(); // unlocks and removes the lock file
}

} // namespace koru::sim
