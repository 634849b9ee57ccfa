#pragma once

#include "sim/ptyline.h"

#include <string>

namespace koru::bench {

// The projector's end of a kernel pseudo-terminal, as the simulator and the
// tests hold it: raw, non-blocking master; the panel opens the slave by its
// path as COM1.
class PtyFarEnd
{
public:
    PtyFarEnd();

    bool isValid() const { return m_line.isOpen(); }
    const std::string &slavePath() const { return m_slavePath; }
    int masterFd() const { return m_line.masterFd(); }

    // Reads and throws away whatever is waiting; returns the byte count.
    long drain();

private:
    sim::PtyLine m_line;
    std::string m_slavePath;
};

} // namespace koru::bench
