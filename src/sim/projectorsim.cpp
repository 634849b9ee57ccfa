#include "sim/projectorsim.h"

#include "sim/noise.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace koru::sim {

namespace {

constexpr qsizetype ReadChunk = 4096;
constexpr int MaxGarbageLength = 16;

QRandomGenerator makeRandom(const std::optional<quint32> &seed)
{
    if (seed)
        return QRandomGenerator(*seed);
    return QRandomGenerator(QRandomGenerator::global()->generate());
}

} // namespace

ProjectorSim::ProjectorSim(const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_state(options.projector, std::chrono::milliseconds(0))
    , m_pacer(options.baud)
    , m_random(makeRandom(options.seed))
    , m_replyTimer(new QTimer(this))
    , m_pacingTimer(new QTimer(this))
{
    m_clock.start();
    m_options.replyDelay = std::max(m_options.replyDelay, std::chrono::milliseconds(0));
    m_options.hangUpAfterFrames = std::max(m_options.hangUpAfterFrames, 0);

    m_replyTimer->setSingleShot(true);
    m_replyTimer->setTimerType(Qt::PreciseTimer);
    connect(m_replyTimer, &QTimer::timeout, this, &ProjectorSim::onReplyDue);

    m_pacingTimer->setTimerType(Qt::PreciseTimer);
    m_pacingTimer->setInterval(PacingInterval);
    connect(m_pacingTimer, &QTimer::timeout, this, &ProjectorSim::transmit);
}

ProjectorSim::~ProjectorSim()
{
    // The notifiers go before the descriptor they watch is closed.
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
}

bool ProjectorSim::start(QString *error)
{
    if (m_started) {
        if (error)
            *error = QStringLiteral("the simulated projector has already been started");
        return false;
    }
    if (!m_line.open(error, m_pacer.baud()))
        return false;
    m_started = true;

    m_readNotifier = new QSocketNotifier(qintptr(m_line.masterFd()), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &ProjectorSim::onReadable);
    m_writeNotifier = new QSocketNotifier(qintptr(m_line.masterFd()), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &ProjectorSim::onWritable);

    if (m_options.fault == FaultMode::Flood)
        startTransmitting();
    return true;
}

QString ProjectorSim::devicePath() const
{
    return m_line.slavePath();
}

bool ProjectorSim::isRunning() const
{
    return m_line.isOpen() && !m_failed;
}

std::chrono::milliseconds ProjectorSim::clock() const
{
    return std::chrono::milliseconds(m_clock.elapsed());
}

void ProjectorSim::setBaud(int baud)
{
    m_pacer.setBaud(baud);
    m_options.baud = m_pacer.baud();
}

void ProjectorSim::setReplyDelay(std::chrono::milliseconds delay)
{
    m_options.replyDelay = std::max(delay, std::chrono::milliseconds(0));
}

void ProjectorSim::setFaultMode(FaultMode mode)
{
    m_options.fault = mode;
    m_pending.clear();
    m_pendingBytes = 0;
    m_outgoing.clear();
    m_replyTimer->stop();
    if (mode == FaultMode::Flood && isRunning())
        startTransmitting();
}

void ProjectorSim::setHangUpAfterFrames(int frames)
{
    m_options.hangUpAfterFrames = std::max(frames, 0);
    if (m_options.hangUpAfterFrames > 0 && m_framesReceived >= m_options.hangUpAfterFrames && isRunning())
        hangUp();
}

void ProjectorSim::hangUp()
{
    if (!m_line.isOpen())
        return;
    stopActivity();
    m_line.close();
    m_hungUp = true;
    emit hungUp();
}

// Leaves no timer running and no notifier enabled. The notifiers are deleted
// later, since this may run inside one of their own signals.
void ProjectorSim::stopActivity()
{
    m_replyTimer->stop();
    m_pacingTimer->stop();
    m_pending.clear();
    m_pendingBytes = 0;
    m_outgoing.clear();
    for (QSocketNotifier **notifier : { &m_readNotifier, &m_writeNotifier }) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
}

void ProjectorSim::fail(const QString &error)
{
    stopActivity();
    m_failed = true;
    emit lineFailed(error);
}

void ProjectorSim::onReadable()
{
    const PtyLine::ReadResult result = m_line.read(ReadChunk);
    if (result.status == PtyLine::Status::WouldBlock)
        return;
    if (result.status == PtyLine::Status::Failed) {
        fail(result.error);
        return;
    }

    m_bytesReceived += result.bytes.size();
    // A projector listens at its own speed only: characters sent at another
    // speed arrive as framing errors, and no command is recognised.
    if (m_line.lineSpeed() != m_pacer.baud()) {
        m_bytesMisheard += result.bytes.size();
        return;
    }
    const QList<Frame> frames = m_reader.feed(result.bytes, clock());
    for (const Frame &frame : frames) {
        ++m_framesReceived;
        if (!frame.isCommand())
            ++m_framesRejected;
        emit frameReceived(frame.body);
        if (!isRunning())
            return; // a receiver hung up
        if (m_options.hangUpAfterFrames > 0 && m_framesReceived >= m_options.hangUpAfterFrames) {
            hangUp();
            return;
        }
        respond(frame);
    }
}

// The projector acts on every frame, whatever the fault; the fault only
// decides what goes back on the line.
void ProjectorSim::respond(const Frame &frame)
{
    const QByteArray reply = m_state.answer(frame, clock());
    switch (m_options.fault) {
    case FaultMode::None:
        queueReply(reply);
        break;
    case FaultMode::Garbage:
        queueReply(noiseBytes(m_random, m_random.bounded(1, MaxGarbageLength + 1)));
        break;
    case FaultMode::Silent:
    case FaultMode::Flood:
        break;
    }
}

void ProjectorSim::queueReply(const QByteArray &reply)
{
    if (m_pendingBytes + m_outgoing.size() + reply.size() > MaxOutgoing) {
        m_bytesDropped += reply.size();
        return;
    }
    m_pending.push_back(PendingReply { clock() + m_options.replyDelay, reply });
    m_pendingBytes += reply.size();
    if (!m_replyTimer->isActive())
        scheduleReplyTimer();
}

void ProjectorSim::scheduleReplyTimer()
{
    if (m_pending.empty())
        return;
    const auto wait = m_pending.front().due - clock();
    m_replyTimer->start(std::max(wait, std::chrono::milliseconds(0)));
}

void ProjectorSim::onReplyDue()
{
    const auto now = clock();
    bool released = false;
    while (!m_pending.empty() && m_pending.front().due <= now) {
        m_outgoing += m_pending.front().bytes;
        m_pendingBytes -= m_pending.front().bytes.size();
        m_pending.pop_front();
        released = true;
    }
    scheduleReplyTimer();
    if (released)
        startTransmitting();
}

void ProjectorSim::startTransmitting()
{
    if (!isRunning() || m_pacingTimer->isActive() || (m_writeNotifier && m_writeNotifier->isEnabled()))
        return;
    m_pacer.resume(std::chrono::nanoseconds(m_clock.nsecsElapsed()));
    m_pacingTimer->start();
    transmit();
}

// One pacing step: sends what the line could have carried since the last
// step. A full line (nobody reading the other side) parks the sender on the
// write notifier instead of polling.
void ProjectorSim::transmit()
{
    const std::chrono::nanoseconds now(m_clock.nsecsElapsed());
    const qsizetype allowance = m_pacer.allowance(now);
    if (m_options.fault == FaultMode::Flood && m_outgoing.size() < allowance)
        m_outgoing += noiseBytes(m_random, allowance - m_outgoing.size());

    if (m_outgoing.isEmpty()) {
        if (m_options.fault != FaultMode::Flood)
            m_pacingTimer->stop();
        return;
    }
    const qsizetype count = std::min(allowance, m_outgoing.size());
    if (count == 0)
        return;

    const PtyLine::WriteResult result = m_line.write(QByteArrayView(m_outgoing).first(count));
    if (result.status == PtyLine::Status::Failed) {
        fail(result.error);
        return;
    }
    if (result.written > 0) {
        m_outgoing.remove(0, result.written);
        m_bytesSent += result.written;
        m_pacer.sent(result.written, now);
    }
    if (result.status == PtyLine::Status::WouldBlock || result.written < count) {
        m_pacingTimer->stop();
        m_writeNotifier->setEnabled(true);
        return;
    }
    if (m_outgoing.isEmpty() && m_options.fault != FaultMode::Flood)
        m_pacingTimer->stop();
}

void ProjectorSim::onWritable()
{
    m_writeNotifier->setEnabled(false);
    startTransmitting();
}

} // namespace koru::sim
