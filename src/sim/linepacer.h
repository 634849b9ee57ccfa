#pragma once

#include <QtGlobal>

#include <chrono>

namespace koru::sim {

// Keeps the outgoing characters to the rate of a real serial line: ten bits a
// character (start, eight data, stop), so 19200 baud carries 1920 characters
// a second. The caller asks how many characters the line could have carried
// by now, sends up to that many and reports what it sent. Time comes from
// the caller, any monotonic clock.
class LinePacer
{
public:
    static constexpr int BitsPerCharacter = 10;

    explicit LinePacer(int baud = 19200);

    void setBaud(int baud);
    int baud() const { return m_baud; }
    std::chrono::nanoseconds characterTime() const { return m_characterTime; }

    // The line was idle and has something to send again: the first character
    // may go at `now`, the next one a character time later, and so on.
    void resume(std::chrono::nanoseconds now);

    // Characters that may go out at `now`. A sender that fell behind (a late
    // timer on a busy machine) catches up by at most MaxCatchUp of line time,
    // so the line never bursts far beyond its rate.
    qsizetype allowance(std::chrono::nanoseconds now) const;
    void sent(qsizetype count, std::chrono::nanoseconds now);

    static constexpr std::chrono::milliseconds MaxCatchUp { 50 };

private:
    std::chrono::nanoseconds lineFreeAt(std::chrono::nanoseconds now) const;

    int m_baud = 19200;
    std::chrono::nanoseconds m_characterTime;
    std::chrono::nanoseconds m_freeAt { std::chrono::nanoseconds::min() };
};

} // namespace koru::sim
