#include "sim/linepacer.h"

#include <algorithm>

namespace koru::sim {

LinePacer::LinePacer(int baud)
{
    setBaud(baud);
}

void LinePacer::setBaud(int baud)
{
    m_baud = std::max(baud, 1);
    m_characterTime = std::chrono::nanoseconds(std::chrono::seconds(BitsPerCharacter)) / m_baud;
}

void LinePacer::resume(std::chrono::nanoseconds now)
{
    m_freeAt = now;
}

// The moment the line is free for the next character: when the last one sent
// has gone out, but never further back than the catch-up limit.
std::chrono::nanoseconds LinePacer::lineFreeAt(std::chrono::nanoseconds now) const
{
    const std::chrono::nanoseconds earliest = now - std::chrono::nanoseconds(MaxCatchUp);
    return m_freeAt < earliest ? earliest : m_freeAt;
}

qsizetype LinePacer::allowance(std::chrono::nanoseconds now) const
{
    const std::chrono::nanoseconds freeAt = lineFreeAt(now);
    if (freeAt > now)
        return 0;
    return qsizetype((now - freeAt) / m_characterTime) + 1;
}

void LinePacer::sent(qsizetype count, std::chrono::nanoseconds now)
{
    if (count <= 0)
        return;
    m_freeAt = lineFreeAt(now) + m_characterTime * count;
}

} // namespace koru::sim
