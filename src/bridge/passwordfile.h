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

// The PJLink password: the file's first line, 1 to 32 printable ASCII
// characters without blanks.
PasswordFile readPasswordFile(const QString &path);

} // namespace koru::bridge
