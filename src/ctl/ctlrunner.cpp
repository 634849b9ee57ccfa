#include "ctl/ctlrunner.h"

#include "ctl/openfailuremessage.h"
#include "protocol/trafficlog.h"
#include "serial/mscomm.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace koru::ctl {

namespace {

// A reply longer than this without its CR is not a reply of this projector;
// the exchange ends there instead of collecting a flood.
constexpr qsizetype kMaxReply = 1024;

} // namespace

CtlRunner::CtlRunner(const CtlOptions &options, QTextStream &out, QTextStream &err, TrafficLog *log,
                     QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_out(out)
    , m_err(err)
    , m_log(log)
    , m_comm(new MSComm(this))
    , m_replyTimer(new QTimer(this))
    , m_nextTimer(new QTimer(this))
{
    m_replyTimer->setSingleShot(true);
    m_replyTimer->setTimerType(Qt::PreciseTimer);
    m_nextTimer->setSingleShot(true);
    m_nextTimer->setTimerType(Qt::PreciseTimer);
    connect(m_comm, &MSComm::OnComm, this, &CtlRunner::onComm);
    connect(m_replyTimer, &QTimer::timeout, this, &CtlRunner::endExchange);
    connect(m_nextTimer, &QTimer::timeout, this, &CtlRunner::transmit);
}

CtlRunner::~CtlRunner() = default;

Millis CtlRunner::now() const
{
    return Millis(m_clock.elapsed());
}

void CtlRunner::start()
{
    m_clock.start();
    m_comm->setDevicePath(1, m_options.port);
    CommResult opened = m_comm->setCommPort(1);
    if (opened)
        opened = m_comm->setSettings(m_options.settings);
    if (opened)
        opened = m_comm->setPortOpen(true);
    if (!opened) {
        finish(exitcode::PortFailed, portFailureMessage(opened));
        return;
    }
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
    m_commandStart = now();
    transmit();
}

void CtlRunner::beginWait()
{
    m_phase = Phase::Waiting;
    m_current = commandByCode(QString::fromLatin1(query::Status));
    m_waitStart = now();
    transmit();
}

void CtlRunner::transmit()
{
    if (m_phase == Phase::Done)
        return;
    const QByteArray bytes = frame(*m_current);
    if (const CommResult sent = m_comm->setOutput(QString::fromLatin1(bytes)); !sent) {
        finish(exitcode::PortFailed, sent.message());
        return;
    }
    if (m_log)
        m_log->sent(m_options.port, bytes);
    m_sentAt = now();
    m_reply.clear();
    m_awaiting = true;
    m_replyTimer->start(replyWindow());
}

void CtlRunner::onComm()
{
    if (m_phase == Phase::Done)
        return;
    if (m_comm->commEvent() == MSComm::comEventLineLost) {
        finish(exitcode::PortFailed, m_comm->lineLostMessage());
        return;
    }
    if (m_comm->commEvent() != MSComm::comEvReceive)
        return;
    const QByteArray chunk = m_comm->input().toLatin1();
    if (m_log)
        m_log->received(m_options.port, chunk);
    if (!m_awaiting)
        return; // late or unasked bytes belong to no command; the log has them
    const qsizetype cr = chunk.indexOf('\r');
    m_reply += cr < 0 ? chunk : chunk.left(cr + 1);
    if (cr >= 0 || m_reply.size() >= kMaxReply)
        endExchange();
}

void CtlRunner::endExchange()
{
    if (!m_awaiting)
        return;
    m_awaiting = false;
    m_replyTimer->stop();
    const Exchange exchange { m_current, m_reply, now() - m_sentAt };
    const Assessment assessment = assess(exchange);
    m_out << (m_options.json ? formatJson(exchange, assessment) : formatLine(exchange, assessment)) << '\n';
    m_out.flush();
    if (m_phase == Phase::Waiting)
        afterStatusCheck(assessment);
    else
        afterCommand(exchange, assessment);
}

void CtlRunner::afterCommand(const Exchange &exchange, const Assessment &assessment)
{
    if (assessment.outcome != Outcome::Answered) {
        finish(exitStatusOf(assessment.outcome), describeFailure(exchange, assessment, replyWindow()));
        return;
    }
    if (holding()) {
        // Repeats keep to the period counted from the first send, as a held
        // button's timer does, and stop once the hold is over.
        const Millis next = m_commandStart + repeatPeriod() * (m_transmission + 1);
        if (next < m_commandStart + m_options.hold) {
            ++m_transmission;
            scheduleNext(next);
            return;
        }
    }
    if (++m_index < m_options.commands.size()) {
        startCommand();
        return;
    }
    if (!m_options.waitFor.isEmpty()) {
        beginWait();
        return;
    }
    finish(exitcode::Answered);
}

void CtlRunner::afterStatusCheck(const Assessment &assessment)
{
    if (assessment.words && *assessment.words == m_options.waitFor) {
        finish(exitcode::Answered);
        return;
    }
    if (assessment.words)
        m_lastStatus = *assessment.words;
    const Millis deadline = m_waitStart + m_options.within;
    if (now() >= deadline) {
        const QString last = m_lastStatus.isEmpty() ? QStringLiteral("not readable")
                                                    : QStringLiteral("\"%1\"").arg(m_lastStatus);
        finish(exitcode::NoReply, QStringLiteral("the status is %1, not \"%2\", after %3 ms.")
                                      .arg(last, m_options.waitFor)
                                      .arg(m_options.within.count()));
        return;
    }
    // The last check falls on the deadline itself, so a wait of 10 s really
    // gives the projector 10 s.
    scheduleNext(std::min(m_sentAt + m_options.pollInterval, deadline));
}

void CtlRunner::scheduleNext(Millis at)
{
    m_nextTimer->start(std::max(Millis(0), at - now()));
}

void CtlRunner::finish(int status, const QString &message)
{
    if (m_phase == Phase::Done)
        return;
    m_phase = Phase::Done;
    m_awaiting = false;
    m_replyTimer->stop();
    m_nextTimer->stop();
    (void)m_comm->setPortOpen(false);
    if (!message.isEmpty()) {
        m_err << "koru-ctl: " << message << '\n';
        m_err.flush();
    }
    m_exitStatus = status;
    QMetaObject::invokeMethod(
        this, [this] { emit finished(m_exitStatus); }, Qt::QueuedConnection);
}

} // namespace koru::ctl
