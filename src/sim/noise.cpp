#include "noise.h"

#include <QRandomGenerator>

namespace koru::sim {

QByteArray noiseBytes(QRandomGenerator &random, qsizetype count)
{
    QByteArray bytes;
    bytes.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        switch (random.bounded(3)) {
        case 0:
            bytes.append(char(random.bounded(32, 127))); // printable
            break;
        case 1:
            bytes.append(char(random.bounded(0, 32))); // control
            break;
        default:
            bytes.append(char(random.bounded(128, 256))); // above 127
            break;
        }
    }
    return bytes;
}

} // namespace koru::sim
