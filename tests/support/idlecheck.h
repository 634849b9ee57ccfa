#pragma once

#include "support/probes.h"

#include <QString>
#include <QTest>

#include <chrono>

namespace koru::test {

// CPU seconds this process uses while the event loop runs for `duration`.
inline double cpuSecondsOver(std::chrono::milliseconds duration)
{
    const double before = processCpuSeconds();
    QTest::qWait(int(duration.count()));
    return processCpuSeconds() - before;
}

} // namespace koru::test

// A closed or lost port must leave the process idle: less than a tenth of a
// second of CPU in a second of running the event loop.
#define KORU_VERIFY_IDLE_SECOND()                                                                     \
    do {                                                                                              \
        const double cpuUsed = koru::test::cpuSecondsOver(std::chrono::seconds(1));                   \
        QVERIFY2(cpuUsed < 0.1, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(cpuUsed))); \
    } while (false)
