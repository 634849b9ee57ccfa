#pragma once

#include "sim/ptyline.h"

#include <QByteArray>
#include <QString>

#include <chrono>

namespace koru::test {

// A real kernel pseudo-terminal for the serial code under test. The test holds
// the master side (raw, non-blocking); the code under test opens the slave by
// its path. The line keeps one slave descriptor of its own, so that the master
// does not see a hang-up while the code under test closes and reopens.
class PtyPair
{
public:
    PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_line.isOpen(); }
    QString slavePath() const { return m_line.slavePath(); }
    int masterFd() const { return m_line.masterFd(); }

    // What the far end has received so far, without waiting.
    QByteArray readAvailable();
    // Keeps the event loop running until `count` bytes have arrived or the
    // time is up; returns what arrived.
    QByteArray readAtLeast(qsizetype count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Collects whatever arrives while the event loop runs for `duration`.
    QByteArray readFor(std::chrono::milliseconds duration);

    bool write(const QByteArray &bytes);

    // The far end goes away: the line hangs up for whoever has the slave open.
    void hangUp();

private:
    sim::PtyLine m_line; // the same far end the simulated projector uses
};

} // namespace koru::test
