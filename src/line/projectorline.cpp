#include "line/projectorline.h"

#include "serial/gatewaywords.h"
#include "serial/mscomm.h"
#include "serial/portaddress.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace koru::line {

namespace {

// A reply longer than this without its CR is not a reply of this projector;
// the frame ends there instead of collecting a flood.
constexpr qsizetype kMaxReply = 1024;

// After a frame whose reply wait ended without its CR, the line stays quiet
// this long before the next frame, so that a reply that is only late is
// dropped instead of passing for the next frame's.
constexpr Millis kQuietAfterSilence { 50 };
// Bytes that wait unread when a frame is due are read (and dropped) first, in
// steps of this, but the frame waits no longer than the quiet time for them:
// a flooding line must not keep every frame back.
constexpr Millis kDrainStep { 2 };

// The one port number the line uses on its port component.
constexpr int kPort = 1;

// A gateway that turns a connection down (its device is in use, say) may say
// so in words and then close. Until the projector has answered once, a reply
// that does not read waits this long for the connection to close, so that
// the gateway's words are not taken for the projector's.
constexpr Millis kGatewayRefusalGrace { 100 };
constexpr qsizetype kMaxGatewayWords = 256;

template <typename Container, typename Predicate>
void eraseIf(Container &container, Predicate predicate)
{
    container.erase(std::remove_if(container.begin(), container.end(), predicate), container.end());
}

} // namespace

ProjectorLine::ProjectorLine(const QString &address, const QString &settings, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_settings(settings)
    , m_comm(new MSComm(this))
    , m_replyTimer(new QTimer(this))
    , m_restTimer(new QTimer(this))
    , m_quietTimer(new QTimer(this))
    , m_refusalTimer(new QTimer(this))
{
    m_clock.start();
    for (QTimer *timer : { m_replyTimer, m_restTimer, m_quietTimer, m_refusalTimer }) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(m_comm, &MSComm::OnComm, this, &ProjectorLine::onComm);
    connect(m_comm, &MSComm::openFinished, this, &ProjectorLine::onOpenFinished);
    connect(m_replyTimer, &QTimer::timeout, this, &ProjectorLine::finishFrame);
    connect(m_restTimer, &QTimer::timeout, this, &ProjectorLine::wakeHolds);
    connect(m_quietTimer, &QTimer::timeout, this, &ProjectorLine::pump);
    connect(m_refusalTimer, &QTimer::timeout, this, [this] {
        Suspect suspect = std::move(*m_suspect);
        m_suspect.reset();
        conclude(std::move(suspect.request), std::move(suspect.result));
    });
}

// Owners' handlers are not called once the line is gone.
ProjectorLine::~ProjectorLine() = default;

QString ProjectorLine::address() const
{
    return m_address;
}

Millis ProjectorLine::now() const
{
    return Millis(m_clock.elapsed());
}

void ProjectorLine::open()
{
    if (m_comm->portOpen() || m_comm->portOpening())
        return;
    m_comm->setDevicePath(kPort, m_address);
    CommResult result = m_comm->setCommPort(kPort);
    if (result)
        result = m_comm->setSettings(m_settings);
    if (!result) {
        onOpenFinished(result);
        return;
    }
    m_comm->setPortOpen(true);
}

void ProjectorLine::onOpenFinished(const CommResult &result)
{
    if (!result) {
        // Frames that waited for the open end with its reason.
        const QString reason = result.openFailure()
            ? QStringLiteral("the line to %1 cannot be opened: %2").arg(m_address, openFailureReason(*result.openFailure()))
            : result.message();
        m_unasked.clear(); // a former connection's, not this attempt's
        endAll(reason);
        flush();
        emit openFailed(result);
        return;
    }
    m_open = true;
    m_network = parsePortAddress(m_address).address.isNetwork();
    m_heard = false;
    m_unasked.clear();
    emit opened();
    schedulePump();
}

void ProjectorLine::close()
{
    m_open = false;
    m_comm->setPortOpen(false);
    endAll(QStringLiteral("the line to %1 was closed").arg(m_address));
    scheduleFlush(); // not from inside the owner's own call
}

bool ProjectorLine::isOpen() const
{
    return m_comm->portOpen();
}

bool ProjectorLine::isOpening() const
{
    return m_comm->portOpening();
}

RequestId ProjectorLine::submit(QObject *owner, const QByteArray &frame, ResultHandler handler, Millis replyWait)
{
    return enqueue(owner, frame, std::move(handler), replyWait, Millis(0));
}

RequestId ProjectorLine::hold(QObject *owner, const QByteArray &frame, Millis period, ResultHandler handler,
                              Millis replyWait)
{
    return enqueue(owner, frame, std::move(handler), replyWait, std::max(period, Millis(1)));
}

RequestId ProjectorLine::enqueue(QObject *owner, const QByteArray &frame, ResultHandler handler, Millis replyWait,
                                 Millis period)
{
    if (!owner)
        owner = this;
    watch(owner);
    Request request;
    request.id = ++m_lastId;
    request.owner = owner;
    request.ownerKey = owner;
    request.frame = frame;
    request.handler = std::move(handler);
    request.replyWait = replyWait;
    request.period = period;
    request.queuedAt = now();
    m_queue.push_back(std::move(request));
    schedulePump(); // sends go out from the event loop, never inside the caller
    return m_lastId;
}

void ProjectorLine::stop(RequestId id)
{
    const auto matches = [id](const auto &entry) { return entry.id == id; };
    eraseIf(m_queue, matches);
    eraseIf(m_deliveries, matches);
    if (m_resting.erase(id) > 0)
        startRestTimer();
    if (m_inFlight && m_inFlight->id == id)
        m_inFlightStopped = true;
}

int ProjectorLine::queued() const
{
    return int(m_queue.size());
}

void ProjectorLine::watch(QObject *owner)
{
    if (owner == this || m_watched.contains(owner))
        return;
    m_watched.insert(owner);
    connect(owner, &QObject::destroyed, this, [this, owner] { dropOwner(owner); });
}

// An owner that goes away takes its requests and results with it; a frame of
// its already on the wire still finishes there, so its reply reaches nobody.
void ProjectorLine::dropOwner(const QObject *owner)
{
    m_watched.remove(const_cast<QObject *>(owner));
    const auto owned = [owner](const auto &entry) { return entry.ownerKey == owner; };
    eraseIf(m_queue, owned);
    eraseIf(m_deliveries, owned);
    for (auto it = m_resting.begin(); it != m_resting.end();)
        it = owned(it->second) ? m_resting.erase(it) : std::next(it);
    startRestTimer();
    if (m_inFlight && owned(*m_inFlight))
        m_inFlightStopped = true;
}

void ProjectorLine::schedulePump()
{
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pumpScheduled = false;
            pump();
        },
        Qt::QueuedConnection);
}

// Sends the next frame unless one is in flight, the line keeps quiet after a
// silence, or unread bytes are still to be dropped; then hands out results.
void ProjectorLine::pump()
{
    if (m_suspect) {
        flush();
        return; // the next frame waits until the gateway has had its moment
    }
    if (m_queue.empty())
        m_drainUntil.reset();
    if (!m_inFlight && !m_queue.empty() && m_open) {
        const Millis t = now();
        if (!m_drainUntil && m_comm->inBufferCount() > 0)
            m_drainUntil = t + kQuietAfterSilence;
        Millis wait = m_quietUntil - t;
        if (m_drainUntil && t < *m_drainUntil && m_comm->inBufferCount() > 0)
            wait = std::max(wait, kDrainStep);
        if (wait > Millis(0)) {
            if (!m_quietTimer->isActive())
                m_quietTimer->start(wait);
            flush();
            return;
        }
    }
    if (!m_inFlight && !m_queue.empty() && !m_open && m_comm->portOpening()) {
        flush();
        return; // the frames wait for the open's outcome
    }
    if (!m_inFlight && !m_queue.empty()) {
        m_drainUntil.reset();
        Request next = std::move(m_queue.front());
        m_queue.pop_front();
        transmit(std::move(next));
    }
    flush();
}

void ProjectorLine::transmit(Request request)
{
    if (!m_open) {
        m_queue.push_front(std::move(request));
        endAll(QStringLiteral("the line to %1 is not open").arg(m_address));
        return;
    }
    // Whatever came after the last reply wait belongs to no frame: it goes
    // now, so that it cannot pass for the reply to this one.
    if (const QByteArray stale = m_comm->input().toLatin1(); !stale.isEmpty()) {
        emit received(stale);
        keepUnasked(stale);
    }
    if (const CommResult written = m_comm->setOutput(QString::fromLatin1(request.frame)); !written) {
        const QString reason = failureReason();
        m_queue.push_front(std::move(request));
        m_open = false;
        m_comm->setPortOpen(false); // the loss is answered here, not again from the port
        endAll(reason);
        emit lost(reason);
        return;
    }
    emit sent(request.frame);
    m_sentAt = now();
    if (request.sends++ == 0)
        request.firstSend = m_sentAt;
    m_reply.clear();
    m_inFlightStopped = false;
    m_replyTimer->start(request.replyWait);
    m_inFlight = std::move(request);
}

QString ProjectorLine::failureReason() const
{
    const QString reason = m_comm->lineFailureReason();
    return reason.isEmpty() ? QStringLiteral("the port is not open") : reason;
}

void ProjectorLine::onComm()
{
    if (m_comm->commEvent() == MSComm::comEventLineLost) {
        const QString reason = failureReason();
        m_open = false;
        endAll(reason);
        flush(); // each owner hears about its own frame first
        emit lost(reason);
        return;
    }
    if (m_comm->commEvent() != MSComm::comEvReceive)
        return;
    const QByteArray chunk = m_comm->input().toLatin1();
    if (chunk.isEmpty())
        return;
    emit received(chunk);
    if (!m_inFlight) {
        keepUnasked(chunk);
        return; // late or unasked bytes belong to no frame
    }
    const qsizetype cr = chunk.indexOf(kCr);
    const QByteArrayView taken = cr < 0 ? QByteArrayView(chunk) : QByteArrayView(chunk).first(cr + 1);
    m_reply += taken.first(std::min(taken.size(), kMaxReply - m_reply.size()));
    if (cr >= 0 || m_reply.size() >= kMaxReply)
        finishFrame();
}

// The frame in flight ends: its CR came, its reply grew too long, or its
// reply wait is over.
void ProjectorLine::finishFrame()
{
    if (!m_inFlight)
        return;
    m_replyTimer->stop();
    Request request = std::move(*m_inFlight);
    m_inFlight.reset();
    Result result = judgeReply(request.frame, m_reply);
    result.elapsed = now() - m_sentAt;
    result.queued = m_sentAt - request.queuedAt;
    if (!m_reply.endsWith(kCr))
        m_quietUntil = now() + kQuietAfterSilence;
    m_reply.clear();
    if (result.outcome == Outcome::Answered || result.outcome == Outcome::Refused)
        m_heard = true;
    if (m_inFlightStopped || !request.owner) {
        pump();
        return;
    }
    if (m_network && !m_heard && result.outcome == Outcome::Unreadable) {
        m_suspect = Suspect { std::move(request), std::move(result) };
        m_refusalTimer->start(kGatewayRefusalGrace);
        return;
    }
    conclude(std::move(request), std::move(result));
}

// Why a gateway closed the connection after these words instead of a reply.
QString ProjectorLine::refusal(const QByteArray &words)
{
    const QString text = gatewayWords(words);
    return text.isEmpty() ? QStringLiteral("the gateway refused the connection")
                          : QStringLiteral("the gateway refused the connection, saying \"%1\"").arg(text);
}

// Until the projector has answered on a gateway's connection, bytes nobody
// asked for may be the gateway's own words: a few are kept for the message
// should it close the connection.
void ProjectorLine::keepUnasked(const QByteArray &bytes)
{
    if (m_network && !m_heard && m_unasked.size() < kMaxGatewayWords)
        m_unasked += bytes.left(kMaxGatewayWords - m_unasked.size());
}

// A frame's result goes to its owner; a hold rests until its next send.
void ProjectorLine::conclude(Request request, Result result)
{
    deliver(request, std::move(result));
    if (request.period > Millis(0)) {
        request.due.reset(); // set once its owner has seen this result
        m_resting.emplace(request.id, std::move(request));
    }
    pump();
}

// Every request in flight, queued or resting ends with LineLost, each once.
void ProjectorLine::endAll(const QString &reason)
{
    m_replyTimer->stop();
    m_restTimer->stop();
    m_refusalTimer->stop();
    const Millis t = now();
    // A frame never sent waited until now; one on the wire ends now.
    const auto lost = [&reason, t](const Request &request, std::optional<Millis> sentAt = std::nullopt) {
        Result result;
        result.outcome = Outcome::LineLost;
        result.frame = request.frame;
        result.lineLostReason = reason;
        result.queued = sentAt.value_or(t) - request.queuedAt;
        result.elapsed = sentAt ? t - *sentAt : Millis(0);
        return result;
    };
    if (m_suspect) {
        // What came was the gateway's refusal, not the projector's reply.
        Result result = std::move(m_suspect->result);
        result.outcome = Outcome::LineLost;
        result.reading.reset();
        result.lineLostReason = refusal(m_unasked + result.reply);
        deliver(m_suspect->request, std::move(result));
        m_suspect.reset();
    }
    if (m_inFlight && !m_inFlightStopped) {
        Result result = lost(*m_inFlight, m_sentAt);
        result.reply = m_reply;
        if (m_network && !m_heard && !(m_unasked + m_reply).isEmpty())
            result.lineLostReason = refusal(m_unasked + m_reply);
        deliver(*m_inFlight, std::move(result));
    }
    m_inFlight.reset();
    m_reply.clear();
    const bool refused = m_network && !m_heard && !m_unasked.isEmpty();
    for (const Request &request : m_queue) {
        Result result = lost(request);
        if (refused)
            result.lineLostReason = refusal(m_unasked);
        deliver(request, std::move(result));
    }
    m_queue.clear();
    for (const auto &[id, request] : m_resting) {
        Result result = lost(request);
        result.queued = Millis(0); // resting between two sends, not waiting for the line
        deliver(request, std::move(result));
    }
    m_resting.clear();
}

void ProjectorLine::deliver(const Request &request, Result result)
{
    if (!request.owner)
        return;
    m_deliveries.push_back({ request.id, request.owner, request.ownerKey, request.handler, std::move(result) });
}

void ProjectorLine::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_flushScheduled = false;
            flush();
        },
        Qt::QueuedConnection);
}

// Hands each result to its owner, in the order the frames ended. The line's
// state is settled before each call, so a handler may submit, stop or close.
void ProjectorLine::flush()
{
    if (m_flushing)
        return; // a handler's own call: the running loop delivers
    m_flushing = true;
    const QPointer<ProjectorLine> self(this);
    while (!m_deliveries.empty()) {
        Delivery delivery = std::move(m_deliveries.front());
        m_deliveries.pop_front();
        if (delivery.owner && delivery.handler)
            delivery.handler(delivery.result);
        if (!self)
            return;
        armRest(delivery.id);
    }
    m_flushing = false;
}

// A hold's next transmission keeps to its period counted from the first one,
// as a held button's timer does; a hold that fell more than a period behind
// (the line was busy with other owners) skips the slots it missed rather than
// catching up in a burst.
void ProjectorLine::armRest(RequestId id)
{
    const auto it = m_resting.find(id);
    if (it == m_resting.end() || it->second.due)
        return;
    Request &hold = it->second;
    Millis due = hold.firstSend + hold.period * hold.sends;
    const Millis t = now();
    if (due + hold.period <= t)
        due = hold.firstSend + hold.period * ((t - hold.firstSend) / hold.period);
    hold.due = due;
    startRestTimer();
}

void ProjectorLine::startRestTimer()
{
    std::optional<Millis> earliest;
    for (const auto &[id, hold] : m_resting) {
        if (hold.due && (!earliest || *hold.due < *earliest))
            earliest = hold.due;
    }
    if (!earliest) {
        m_restTimer->stop();
        return;
    }
    m_restTimer->start(std::max(Millis(0), *earliest - now()));
}

void ProjectorLine::wakeHolds()
{
    const Millis t = now();
    for (auto it = m_resting.begin(); it != m_resting.end();) {
        if (it->second.due && *it->second.due <= t) {
            it->second.queuedAt = *it->second.due;
            m_queue.push_back(std::move(it->second));
            it = m_resting.erase(it);
        } else {
            ++it;
        }
    }
    startRestTimer();
    pump();
}

} // namespace koru::line
