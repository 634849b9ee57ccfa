#pragma once

#include <QByteArray>
#include <QString>

namespace koru::bridge {

struct PasswordFile
{
    QByteArray password;
    QString error;             // why there is none; empty on success
    bool othersCanRead = false; // the file's mode lets any user read it
};

// A password, PJLink's or the broker's: the file's first line, 1 to
// `maxLength` printable ASCII characters without blanks. Every password file
// of the bridge is read here, with the same checks.
PasswordFile readPasswordFile(const QString &path, qsizetype maxLength);

} // namespace koru::bridge
