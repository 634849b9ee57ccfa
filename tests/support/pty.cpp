#include "support/pty.h"

#include <QElapsedTimer>
#include <QTest>

namespace koru::test {

PtyPair::PtyPair()
{
    QString error;
    m_line.open(&error);
}

void PtyPair::hangUp()
{
    m_line.close();
}

QByteArray PtyPair::readAvailable()
{
    QByteArray result;
    for (;;) {
        const sim::PtyLine::ReadResult chunk = m_line.read(4096);
        if (chunk.bytes.isEmpty())
            return result;
        result += chunk.bytes;
    }
}

QByteArray PtyPair::readAtLeast(qsizetype count, std::chrono::milliseconds timeout)
{
    QByteArray result = readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (result.size() < count && clock.elapsed() < timeout.count()) {
        QTest::qWait(2);
        result += readAvailable();
    }
    return result;
}

QByteArray PtyPair::readFor(std::chrono::milliseconds duration)
{
    QByteArray result = readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < duration.count()) {
        QTest::qWait(2);
        result += readAvailable();
    }
    return result;
}

bool PtyPair::write(const QByteArray &bytes)
{
    // The kernel buffers only a few kilobytes; while it is full the code under
    // test needs the event loop to read, so keep it running.
    qsizetype done = 0;
    QElapsedTimer clock;
    clock.start();
    while (done < bytes.size() && clock.elapsed() < 10000) {
        const sim::PtyLine::WriteResult sent = m_line.write(QByteArrayView(bytes).sliced(done));
        if (sent.status == sim::PtyLine::Status::Failed)
            return false;
        done += sent.written;
        if (sent.status == sim::PtyLine::Status::WouldBlock)
            QTest::qWait(1);
    }
    return done == bytes.size();
}

} // namespace koru::test
