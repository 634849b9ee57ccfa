#pragma once

#include "serial/mscomm.h"

#include <QTest>

#include <chrono>
#include <optional>

namespace koru::test {

// Opens the port as its callers do, and runs the event loop until the outcome
// is in (a failure of its own when none comes within `timeout`).
inline CommResult openPort(MSComm &comm, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    std::optional<CommResult> outcome;
    QObject context;
    QObject::connect(&comm, &MSComm::openFinished, &context, [&outcome](const CommResult &result) {
        if (!outcome)
            outcome = result;
    });
    comm.setPortOpen(true);
    if (!QTest::qWaitFor([&outcome] { return outcome.has_value(); }, int(timeout.count())))
        return CommResult::failure(QStringLiteral("the open did not finish within %1 ms").arg(timeout.count()));
    return *outcome;
}

} // namespace koru::test
