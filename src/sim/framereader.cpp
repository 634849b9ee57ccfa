#include "sim/framereader.h"

#include "protocol/catalogue.h"
#include "protocol/replyreading.h"

namespace koru::sim {

bool Frame::isCommand() const
{
    return !overlong && body.size() == FrameReader::CodeLength && isCommandCode(body);
}

FrameReader::FrameReader(std::chrono::milliseconds frameTimeout)
    : m_frameTimeout(frameTimeout)
{
    m_partial.reserve(CodeLength);
}

QList<Frame> FrameReader::feed(QByteArrayView bytes, std::chrono::milliseconds now)
{
    QList<Frame> frames;
    if (bytes.isEmpty())
        return frames;

    if (m_started && now - m_lastByte > m_frameTimeout) {
        m_partial.clear();
        m_overlong = false;
        m_started = false;
    }
    m_lastByte = now;

    for (const char c : bytes) {
        if (c == kCr) {
            frames.append(Frame { m_partial, m_overlong });
            m_partial.clear();
            m_overlong = false;
            m_started = false;
            continue;
        }
        m_started = true;
        if (m_partial.size() < CodeLength)
            m_partial.append(c);
        else
            m_overlong = true;
    }
    return frames;
}

} // namespace koru::sim
