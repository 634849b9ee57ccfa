#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <chrono>

namespace koru::sim {

// One frame as the simulator read it off the line: everything up to a
// carriage return, without the CR. A frame longer than a command code is not
// kept whole; `overlong` records that it was.
struct Frame
{
    QByteArray body;
    bool overlong = false;

    // Three characters, one of the known command codes.
    bool isCommand() const;
};

// Cuts the incoming byte stream into frames. Every CR ends a frame, so the
// reader is back in step after any garbage at the next CR. At most a code's
// length of a frame is buffered, however much arrives without a CR, and a
// partial frame that lies idle longer than the frame timeout is dropped, as
// a real device's receiver forgets a broken-off command.
class FrameReader
{
public:
    static constexpr qsizetype CodeLength = 3;
    static constexpr std::chrono::milliseconds DefaultFrameTimeout { 500 };

    explicit FrameReader(std::chrono::milliseconds frameTimeout = DefaultFrameTimeout);

    // Takes the bytes that arrived at `now` (any monotonic clock) and returns
    // the frames they completed, in order.
    QList<Frame> feed(QByteArrayView bytes, std::chrono::milliseconds now);

    // True while a partial frame is held.
    bool hasPartial() const { return m_started; }

private:
    std::chrono::milliseconds m_frameTimeout;
    std::chrono::milliseconds m_lastByte { 0 };
    QByteArray m_partial;
    bool m_overlong = false;
    bool m_started = false;
};

} // namespace koru::sim
