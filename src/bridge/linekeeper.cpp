#include "bridge/linekeeper.h"

#include "bridge/openfailuremessage.h"
#include "line/projectorline.h"

#include <algorithm>

namespace koru::bridge {

Millis nextReopenDelay(Millis previous, ReopenTimes times)
{
    if (previous <= Millis(0))
        return times.first;
    return std::min(previous * 2, times.longest);
}

LineKeeper::LineKeeper(line::ProjectorLine *line, ReopenTimes times, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_times(times)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &LineKeeper::tryOpen);
    connect(m_line, &line::ProjectorLine::lost, this, [this](const QString &reason) {
        if (m_stopped)
            return;
        m_lastFailure = reason;
        emit notice(QStringLiteral("line %1 lost: %2; trying to reopen it").arg(m_line->address(), reason));
        m_delay = Millis(0);
        scheduleRetry();
    });
    connect(m_line, &line::ProjectorLine::opened, this, [this] {
        if (m_stopped)
            return;
        m_delay = Millis(0);
        m_lastFailure.clear();
        emit notice(QStringLiteral("line %1 open").arg(m_line->address()));
    });
    connect(m_line, &line::ProjectorLine::openFailed, this, &LineKeeper::onOpenFailed);
}

void LineKeeper::start()
{
    tryOpen();
}

void LineKeeper::stop()
{
    m_stopped = true;
    m_retry.stop();
}

void LineKeeper::tryOpen()
{
    m_line->open();
}

void LineKeeper::onOpenFailed(const CommResult &result)
{
    if (m_stopped)
        return;
    if (const QString reason = openFailureMessage(result); reason != m_lastFailure) {
        m_lastFailure = reason;
        emit notice(QStringLiteral("line %1 cannot be opened (trying again every few seconds): %2")
                        .arg(m_line->address(), reason));
    }
    scheduleRetry();
}

void LineKeeper::scheduleRetry()
{
    m_delay = nextReopenDelay(m_delay, m_times);
    m_retry.start(m_delay);
}

} // namespace koru::bridge
