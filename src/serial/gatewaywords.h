#pragma once

#include <QByteArrayView>
#include <QLatin1Char>
#include <QString>

namespace koru {

// The printable part of what a gateway said when it turned a connection down
// (ser2net: "Port's device already in use"), short enough for a message.
inline QString gatewayWords(QByteArrayView bytes)
{
    QString words;
    for (const char c : bytes) {
        if (c >= ' ' && c <= '~' && words.size() < 80)
            words += QLatin1Char(c);
    }
    return words.trimmed();
}

} // namespace koru
