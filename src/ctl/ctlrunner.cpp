#include "ctl/ctlrunner.h"

#include "ctl/openfailuremessage.h"
#include "protocol/trafficlog.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace koru::ctl {

CtlRunner::CtlRunner(const CtlOptions &options, QTextStream &out, QTextStream &err, TrafficLog *log,
                     QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_out(out)
    , m_err(err)
    , m_log(log)
    , m_line(new line::ProjectorLine(options.port, options.settings, this))
    , m_nextTimer(new QTimer(this))
{
    m_nextTimer->setSingleShot(true);
    m_nextTimer->setTimerType(Qt::PreciseTimer);
    connect(m_nextTimer, &QTimer::timeout, this, &CtlRunner::checkStatus);
    connect(m_line, &line::ProjectorLine::opened, this, &CtlRunner::onOpened);
    connect(m_line, &line::ProjectorLine::openFailed, this,
            [this](const CommResult &result) { finish(exitcode::PortFailed, portFailureMessage(result)); });
    connect(m_line, &line::ProjectorLine::lost, this,
            [this](const QString &reason) { finish(exitcode::PortFailed, lineLostMessage(m_options.port, reason)); });
    if (m_log) {
        connect(m_line, &line::ProjectorLine::sent, this,
                [this](const QByteArray &bytes) { m_log->sent(m_options.port, bytes); });
        connect(m_line, &line::ProjectorLine::received, this,
                [this](const QByteArray &bytes) { m_log->received(m_options.port, bytes); });
    }
}

CtlRunner::~CtlRunner() = default;

Millis CtlRunner::now() const
{
    return Millis(m_clock.elapsed());
}

void CtlRunner::start()
{
    m_clock.start();
    m_line->open();
}

void CtlRunner::onOpened()
{
    if (m_phase == Phase::Done)
        return;
    if (m_options.commands.empty())
        beginWait();
    else
        startCommand();
}

bool CtlRunner::holding() const
{
    return m_phase == Phase::Commands && m_options.hold > Millis(0) && m_current
        && m_current->kind != CommandKind::OneShot;
}

// A held button repeats at its own period; the arrows at Timer1's period as
// it stands before any mode button has set another.
Millis CtlRunner::repeatPeriod() const
{
    return m_current->timing ? m_current->timing->t1 : kRepeatAtStart;
}

// While a button is held, a reply belongs to the send before it as long as
// it comes before the next repeat. (The panel stops showing it sooner, after
// the button's own reply time, 25 ms for Zoom and Focus; a script would then
// call a reply missing that came at 30 ms, well within the period.)
Millis CtlRunner::replyWindow() const
{
    return holding() ? std::min(m_options.replyWait, repeatPeriod()) : m_options.replyWait;
}

void CtlRunner::startCommand()
{
    m_current = m_options.commands[m_index];
    m_transmission = 0;
    const auto handler = [this](const line::Result &result) { onResult(result); };
    // A hold repeats on the line at the period counted from its first send.
    m_request = holding() ? m_line->hold(this, frame(*m_current), repeatPeriod(), handler, replyWindow())
                          : m_line->submit(this, frame(*m_current), handler, replyWindow());
}

void CtlRunner::beginWait()
{
    m_phase = Phase::Waiting;
    m_current = commandByCode(QString::fromLatin1(query::Status));
    m_waitStart = now();
    checkStatus();
}

void CtlRunner::checkStatus()
{
    m_request = m_line->submit(
        this, frame(*m_current), [this](const line::Result &result) { onResult(result); }, replyWindow());
}

void CtlRunner::onResult(const line::Result &result)
{
    if (m_phase == Phase::Done)
        return;
    if (result.outcome == line::Outcome::LineLost) {
        finish(exitcode::PortFailed, lineLostMessage(m_options.port, result.lineLostReason));
        return;
    }
    m_sentAt = now() - result.elapsed;
    const line::Exchange exchange { m_current, result };
    m_out << (m_options.json ? line::formatJson(exchange) : formatLine(exchange)) << '\n';
    m_out.flush();
    if (m_phase == Phase::Waiting)
        afterStatusCheck(result);
    else
        afterCommand(exchange);
}

void CtlRunner::afterCommand(const line::Exchange &exchange)
{
    if (exchange.result.outcome != line::Outcome::Answered) {
        finish(exitStatusOf(exchange.result.outcome), describeFailure(exchange, replyWindow()));
        return;
    }
    if (holding()) {
        // The line sends the next repeat unless it would fall after the hold.
        if (repeatPeriod() * (m_transmission + 1) < m_options.hold) {
            ++m_transmission;
            return;
        }
        m_line->stop(m_request);
    }
    if (++m_index < m_options.commands.size()) {
        startCommand();
        return;
    }
    if (!m_options.wantedStatus.isEmpty()) {
        beginWait();
        return;
    }
    finish(exitcode::Answered);
}

void CtlRunner::afterStatusCheck(const line::Result &result)
{
    const std::optional<QString> words = line::replyWords(result);
    if (words && *words == m_options.wantedStatus) {
        finish(exitcode::Answered);
        return;
    }
    if (words)
        m_lastStatus = *words;
    if (result.outcome != line::Outcome::NoReply)
        m_statusAnswered = true;
    const Millis deadline = m_waitStart + m_options.within;
    if (now() >= deadline) {
        finish(exitcode::NoReply, waitFailure());
        return;
    }
    // The last check falls on the deadline itself, so a wait of 10 s really
    // gives the projector 10 s.
    const Millis next = std::min(m_sentAt + m_options.pollInterval, deadline);
    m_nextTimer->start(std::max(Millis(0), next - now()));
}

// Why the wait ended without the wanted words: a projector that never
// answered is not one whose status could not be read.
QString CtlRunner::waitFailure() const
{
    const QString after = m_options.within > Millis(0)
        ? QStringLiteral(" after %1 ms").arg(m_options.within.count())
        : QString();
    if (!m_statusAnswered)
        return QStringLiteral("no reply to the status query%1, so it cannot be \"%2\". Check the cable, the "
                              "projector's power and the line speed.")
            .arg(after, m_options.wantedStatus);
    if (m_lastStatus.isEmpty())
        return QStringLiteral("the status was not readable%1, so it cannot be \"%2\".").arg(after, m_options.wantedStatus);
    return QStringLiteral("the status is \"%1\", not \"%2\"%3.").arg(m_lastStatus, m_options.wantedStatus, after.isEmpty() ? after : u',' + after);
}

void CtlRunner::finish(int status, const QString &message)
{
    if (m_phase == Phase::Done)
        return;
    m_phase = Phase::Done;
    m_nextTimer->stop();
    m_line->stop(m_request);
    m_line->close();
    if (!message.isEmpty()) {
        m_err << "koru-ctl: " << message << '\n';
        m_err.flush();
    }
    m_exitStatus = status;
    QMetaObject::invokeMethod(
        this, [this] { emit finished(m_exitStatus); }, Qt::QueuedConnection);
}

} // namespace koru::ctl
