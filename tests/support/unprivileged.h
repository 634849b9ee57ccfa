#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace koru::test {

// Root passes every permission check, so a refusal the kernel gives a user
// is met only by running the program as one: 'nobody', without groups.
// Tests that need it run as root (as CI does) and skip otherwise.
inline bool canRunUnprivileged()
{
    return ::geteuid() == 0 && QFile::exists(QStringLiteral("/usr/bin/setpriv"));
}

// The command line that runs `program` as nobody.
inline QStringList unprivileged(const QString &program, const QStringList &arguments)
{
    return QStringList { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                         QStringLiteral("--clear-groups"), QStringLiteral("--"), program }
        + arguments;
}

// Hands a device node to root and `group` with `mode` ("0600 root",
// "0660 dialout"); false when that cannot be done.
inline bool restrictNode(const QString &path, const QString &access)
{
    const QStringList parts = access.split(u' ');
    const group *entry = parts.size() == 2 ? ::getgrnam(parts[1].toLocal8Bit().constData()) : nullptr;
    bool ok = false;
    const mode_t mode = mode_t(parts.value(0).toUInt(&ok, 8));
    const QByteArray native = QFile::encodeName(path);
    return entry && ok && ::chown(native.constData(), 0, entry->gr_gid) == 0 && ::chmod(native.constData(), mode) == 0;
}

} // namespace koru::test
