#include "bridge/passwordfile.h"

#include <QFile>

#include <algorithm>

namespace koru::bridge {

PasswordFile readPasswordFile(const QString &path, qsizetype maxLength)
{
    PasswordFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    result.othersCanRead = file.permissions().testFlag(QFileDevice::ReadOther);
    const QByteArray first = file.readLine(4 * maxLength).trimmed();
    const bool printable = std::all_of(first.begin(), first.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    if (first.isEmpty() || first.size() > maxLength || !printable) {
        result.error = QStringLiteral("the first line must hold the password: 1 to %1 printable characters, no blanks")
                           .arg(maxLength);
        return result;
    }
    result.password = first;
    return result;
}

} // namespace koru::bridge
