#include "bridge/projectormodel.h"

#include <QPointer>

namespace koru::bridge {

namespace {

// The catalogue's commands behind each operation.
const char *inputCommand(Input input)
{
    switch (input) {
    case Input::Computer: return "input-pc";
    case Input::Mci: return "input-mci";
    case Input::Video: break;
    }
    return "input-video";
}

// What an acknowledged command did to the mutes, which the projector cannot
// be asked about.
struct MuteEffect
{
    const char *command;
    bool video;
    bool on;
};
constexpr MuteEffect kMuteEffects[] = {
    { "video-mute-on", true, true },
    { "video-mute-off", true, false },
    { "audio-mute-on", false, true },
    { "audio-mute-off", false, false },
};

// Whether the projector had its say: a reply that reads, or a refusal.
bool answered(const line::Result &result)
{
    return result.outcome == line::Outcome::Answered || result.outcome == line::Outcome::Refused;
}

// Whether the projector left a frame without a reply that reads; a lost line
// is the line's failure, not the projector's.
bool unanswered(const line::Result &result)
{
    return result.outcome == line::Outcome::NoReply || result.outcome == line::Outcome::Unreadable;
}

CommandOutcome outcomeOf(line::Outcome outcome)
{
    switch (outcome) {
    case line::Outcome::Answered: return CommandOutcome::Done;
    case line::Outcome::Refused: return CommandOutcome::Refused;
    case line::Outcome::NoReply:
    case line::Outcome::Unreadable:
    case line::Outcome::LineLost: break;
    }
    return CommandOutcome::NoAnswer;
}

// Runs `handler` from the event loop, not from inside the caller.
void later(QObject *context, CommandHandler handler, CommandResult result)
{
    QTimer::singleShot(0, context, [handler = std::move(handler), result] { handler(result); });
}

} // namespace

bool ProjectorState::operator==(const ProjectorState &other) const
{
    return lineAvailable == other.lineAvailable && answering == other.answering && power == other.power && input == other.input
        && (lampHours ? other.lampHours && lampHours->hours == other.lampHours->hours : !other.lampHours)
        && videoMuted == other.videoMuted && audioMuted == other.audioMuted
        && statusWords == other.statusWords;
}

ProjectorModel::ProjectorModel(line::ProjectorLine *line, PollIntervals intervals, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_intervals(intervals)
{
    const std::pair<QTimer *, std::pair<Millis, const char *>> timers[] = {
        { &m_statusTimer, { intervals.status, query::Status } },
        { &m_modeTimer, { intervals.mode, query::Mode } },
        { &m_lampTimer, { intervals.lampTime, query::LampTime } },
    };
    for (const auto &[timer, setting] : timers) {
        timer->setInterval(setting.first);
        const char *code = setting.second;
        connect(timer, &QTimer::timeout, this, [this, code] { poll(code); });
    }
    const auto start = [this] {
        m_unanswered = 0;
        ProjectorState next = m_state;
        next.lineAvailable = true;
        update(next);
        for (QTimer *timer : { &m_statusTimer, &m_modeTimer, &m_lampTimer })
            timer->start();
        for (const char *code : { query::Status, query::Mode, query::LampTime })
            poll(code);
    };
    connect(m_line, &line::ProjectorLine::opened, this, start);
    connect(m_line, &line::ProjectorLine::lost, this, [this] {
        for (QTimer *timer : { &m_statusTimer, &m_modeTimer, &m_lampTimer })
            timer->stop();
        ProjectorState next;
        next.videoMuted = m_state.videoMuted;
        next.audioMuted = m_state.audioMuted;
        update(next);
    });
    if (m_line->isOpen())
        QTimer::singleShot(0, this, start);
}

ProjectorModel::~ProjectorModel() = default;

void ProjectorModel::setPower(bool on, QObject *context, CommandHandler handler)
{
    runCommand(QString::fromLatin1(on ? "power-on" : "power-off"), context, std::move(handler));
}

void ProjectorModel::setInput(Input input, QObject *context, CommandHandler handler)
{
    runCommand(QString::fromLatin1(inputCommand(input)), context, std::move(handler));
}

void ProjectorModel::setMutes(std::optional<bool> video, std::optional<bool> audio, QObject *context,
                              CommandHandler handler)
{
    QList<QByteArray> frames;
    if (video)
        frames.append(frame(*commandByName(QString::fromLatin1(*video ? "video-mute-on" : "video-mute-off"))));
    if (audio)
        frames.append(frame(*commandByName(QString::fromLatin1(*audio ? "audio-mute-on" : "audio-mute-off"))));
    sendAll(frames, context, std::move(handler));
}

void ProjectorModel::runCommand(QStringView scriptName, QObject *context, CommandHandler handler)
{
    const Command *command = commandByName(scriptName);
    if (!command) {
        later(context, std::move(handler), { CommandOutcome::UnknownCommand, {} });
        return;
    }
    // The projector acknowledges switching on while it cools down and does
    // nothing: the bridge knows, does not send, and says so, whichever way
    // the request came.
    if (command == commandByName(u"power-on") && m_state.power == PowerState::CoolingDown) {
        later(context, std::move(handler), { CommandOutcome::NotPossibleNow, {} });
        return;
    }
    sendAll({ frame(*command) }, context, std::move(handler));
}

void ProjectorModel::sendAll(QList<QByteArray> frames, QObject *context, CommandHandler handler)
{
    if (frames.isEmpty()) {
        later(context, std::move(handler), { CommandOutcome::Done, {} });
        return;
    }
    if (!m_state.lineAvailable) {
        later(context, std::move(handler), { CommandOutcome::NoAnswer, {} });
        return;
    }
    // The model itself owns the request, so that what the projector took
    // reaches the state even when the asker has gone meanwhile; the frame
    // waits in the asker's turn, and goes unsent if the asker goes first.
    const QByteArray first = frames.takeFirst();
    m_line->submit(this, first,
                   [this, rest = std::move(frames), guard = QPointer<QObject>(context), context,
                    handler = std::move(handler)](const line::Result &result) mutable {
                       take(result);
                       const CommandOutcome outcome = outcomeOf(result.outcome);
                       if (outcome == CommandOutcome::Done && !rest.isEmpty()) {
                           if (guard)
                               sendAll(std::move(rest), context, std::move(handler));
                           return;
                       }
                       // The asker hears of it once the state shows what the
                       // command did, so that a query right after it is true.
                       const CommandResult commandResult { outcome, result };
                       auto deliver = [guard, handler = std::move(handler), commandResult] {
                           if (guard)
                               handler(commandResult);
                       };
                       if (result.outcome == line::Outcome::LineLost) {
                           deliver();
                           return;
                       }
                       if (outcome == CommandOutcome::NoAnswer) {
                           // A projector that leaves a command unanswered is
                           // not to be believed on its last status: it is asked
                           // again at once, not at the next poll.
                           ProjectorState next = m_state;
                           next.power.reset();
                           next.statusWords.clear();
                           update(next);
                       }
                       pollAfterCommand(std::move(deliver));
                   },
                   kReplyWait, context);
}

void ProjectorModel::poll(const char *queryCode)
{
    const QByteArray code(queryCode);
    if (!m_state.lineAvailable || m_polling.contains(code))
        return;
    m_polling.insert(code);
    m_line->submit(this, code + kCr, [this, code](const line::Result &result) {
        m_polling.remove(code);
        take(result);
        // The first status in a row left unanswered is asked again at once,
        // so that one lost reply leaves the power unknown for a frame, not a
        // whole poll interval.
        if (code == query::Status && unanswered(result) && m_unanswered == 1)
            poll(query::Status);
    });
}

void ProjectorModel::pollAfterCommand(std::function<void()> then)
{
    // Not folded into a regular poll already queued: that one was asked
    // before the command. One asked after an earlier command that still
    // waits for the line was asked after this one too.
    if (m_statusAfterCommands && m_line->isWaiting(m_statusAfterCommands->id)) {
        m_statusAfterCommands->then->push_back(std::move(then));
        return;
    }
    auto waiting = std::make_shared<std::vector<std::function<void()>>>();
    waiting->push_back(std::move(then));
    const line::RequestId id =
        m_line->submit(this, QByteArray(query::Status) + kCr, [this, waiting](const line::Result &result) {
            if (m_statusAfterCommands && m_statusAfterCommands->then == waiting)
                m_statusAfterCommands.reset();
            take(result);
            const std::vector<std::function<void()>> thens = std::move(*waiting);
            for (const std::function<void()> &next : thens) {
                if (next)
                    next();
            }
        });
    m_statusAfterCommands = StatusAfterCommands { id, waiting };
}

void ProjectorModel::take(const line::Result &result)
{
    const QByteArray code = result.frame.left(3);
    ProjectorState next = m_state;
    const bool query = isQueryCode(code);
    if (query && result.outcome != line::Outcome::Answered && result.outcome != line::Outcome::LineLost) {
        // A silent or garbled answer to a poll: the value is unknown now.
        if (code == query::Status) {
            next.power.reset();
            next.statusWords.clear();
        } else if (code == query::Mode) {
            next.input.reset();
        } else if (code == query::LampTime) {
            next.lampHours.reset();
        }
    }
    if (result.outcome == line::Outcome::Answered && result.reading) {
        if (const auto *power = std::get_if<PowerState>(&*result.reading)) {
            // Going to standby ends the mutes; set while in standby, they stay.
            if (*power == PowerState::StandBy && m_state.power && *m_state.power != PowerState::StandBy) {
                next.videoMuted = false;
                next.audioMuted = false;
            }
            next.power = *power;
            next.statusWords = line::replyWords(result).value_or(QString());
        } else if (const auto *input = std::get_if<Input>(&*result.reading)) {
            next.input = *input;
        } else if (const auto *lamp = std::get_if<LampHours>(&*result.reading)) {
            next.lampHours = *lamp;
        }
    }
    if (answered(result)) {
        m_unanswered = 0;
        next.answering = true;
    } else if (query && unanswered(result) && ++m_unanswered >= m_intervals.unansweredBeforeSilent) {
        // Nothing is known of a projector that does not answer.
        next.answering = false;
        next.power.reset();
        next.statusWords.clear();
        next.input.reset();
        next.lampHours.reset();
    }
    if (result.outcome == line::Outcome::Answered && !query) {
        for (const Input input : { Input::Computer, Input::Mci, Input::Video }) {
            if (code == commandByName(QString::fromLatin1(inputCommand(input)))->code)
                next.input = input;
        }
        for (const MuteEffect &effect : kMuteEffects) {
            if (code == commandByName(QString::fromLatin1(effect.command))->code)
                (effect.video ? next.videoMuted : next.audioMuted) = effect.on;
        }
    }
    update(next);
}

void ProjectorModel::update(const ProjectorState &next)
{
    if (next == m_state)
        return;
    m_state = next;
    emit changed();
}

} // namespace koru::bridge
