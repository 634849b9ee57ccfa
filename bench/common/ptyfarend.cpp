#include "common/ptyfarend.h"

namespace koru::bench {

PtyFarEnd::PtyFarEnd()
{
    QString error;
    if (m_line.open(&error))
        m_slavePath = m_line.slavePath().toStdString();
}

long PtyFarEnd::drain()
{
    long total = 0;
    for (;;) {
        const sim::PtyLine::ReadResult chunk = m_line.read(4096);
        if (chunk.bytes.isEmpty())
            return total;
        total += long(chunk.bytes.size());
    }
}

} // namespace koru::bench
