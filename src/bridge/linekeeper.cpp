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
    m_settling.setSingleShot(true);
    m_settling.setInterval(times.settled);
    connect(&m_settling, &QTimer::timeout, this, &LineKeeper::settle);
    connect(m_line, &line::ProjectorLine::lost, this, &LineKeeper::onLost);
    connect(m_line, &line::ProjectorLine::opened, this, &LineKeeper::onOpened);
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
    m_settling.stop();
}

void LineKeeper::tryOpen()
{
    m_line->open();
}

void LineKeeper::onOpened()
{
    if (m_stopped)
        return;
    m_settling.start();
    // After a line that dropped as soon as it opened, this one is said to be
    // open once it has stayed so.
    if (!m_dropping) {
        m_lastFailure.clear();
        emit notice(QStringLiteral("line %1 open").arg(m_line->address()));
    }
}

// Open long enough to be trusted: the next loss starts the pauses afresh.
void LineKeeper::settle()
{
    m_delay = Millis(0);
    if (m_dropping) {
        m_dropping = false;
        m_lastFailure.clear();
        emit notice(QStringLiteral("line %1 open").arg(m_line->address()));
    }
}

void LineKeeper::onLost(const QString &reason)
{
    if (m_stopped)
        return;
    m_dropping = m_settling.isActive();
    m_settling.stop();
    if (reason != m_lastFailure) {
        m_lastFailure = reason;
        emit notice(QStringLiteral("line %1 lost: %2; %3")
                        .arg(m_line->address(), reason,
                             m_dropping ? QStringLiteral("it dropped as soon as it opened: trying to reopen it after "
                                                         "a growing pause")
                                        : QStringLiteral("trying to reopen it")));
    }
    // Dropped at once, it counts as an open that failed: the pause grows.
    if (!m_dropping)
        m_delay = Millis(0);
    scheduleRetry();
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
