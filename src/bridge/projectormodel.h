#pragma once

#include "line/projectorline.h"
#include "protocol/catalogue.h"
#include "protocol/replyreading.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace koru::bridge {

// How often the bridge asks the projector on its own, so that network
// clients are answered from what it knows instead of each costing a frame.
struct PollIntervals
{
    Millis status { std::chrono::seconds(5) };
    Millis mode { std::chrono::seconds(30) };
    Millis lampTime { std::chrono::seconds(60) };
    // Polls left unanswered in a row (no reply, or none that reads) before
    // the projector counts as not answering.
    int unansweredBeforeSilent = 3;
};

// What the bridge knows of one projector. A value the projector has not told
// yet (just started, line down) is empty.
struct ProjectorState
{
    bool lineAvailable = false;
    // The projector has answered since the line opened and has not left
    // PollIntervals::unansweredBeforeSilent polls in a row unanswered since;
    // while it does not answer, nothing of it is known.
    bool answering = false;
    std::optional<PowerState> power;
    std::optional<Input> input;
    std::optional<LampHours> lampHours;
    // The projector cannot be asked about its mutes: these are what the
    // bridge last set, both off again after a standby.
    bool videoMuted = false;
    bool audioMuted = false;
    // STATUS as the panel's STATUS line words it ("Power ON"), empty if unknown.
    QString statusWords;

    bool operator==(const ProjectorState &other) const;
    bool operator!=(const ProjectorState &other) const { return !(*this == other); }
};

// How one operation fared.
enum class CommandOutcome {
    Done,           // the projector acknowledged every frame it took
    Refused,        // the projector answered NAK
    NotPossibleNow, // the bridge did not send: the projector cannot now (on while cooling down)
    NoAnswer,       // no reply, an unreadable one, or the line is down
    UnknownCommand, // runCommand: no command of the catalogue has that name
};

struct CommandResult
{
    CommandOutcome outcome = CommandOutcome::NoAnswer;
    // What the line gave for the last frame sent; none when nothing was sent.
    std::optional<line::Result> last;
};

using CommandHandler = std::function<void(const CommandResult &)>;

// One projector as the bridge's clients see it: the state kept fresh by
// polling the line, and the operations they may ask for. Every handler runs
// once from the event loop, unless `context` is destroyed first.
class ProjectorModel : public QObject
{
    Q_OBJECT

public:
    ProjectorModel(line::ProjectorLine *line, PollIntervals intervals, QObject *parent = nullptr);
    ~ProjectorModel() override;

    const ProjectorState &state() const { return m_state; }

    void setPower(bool on, QObject *context, CommandHandler handler);
    void setInput(Input input, QObject *context, CommandHandler handler);
    // An empty value leaves that mute as it is.
    void setMutes(std::optional<bool> video, std::optional<bool> audio, QObject *context,
                  CommandHandler handler);
    // Any command of the catalogue by its script name ("vol-up"), sent once;
    // power-on while the projector cools down is NotPossibleNow, unsent, as
    // for setPower().
    void runCommand(QStringView scriptName, QObject *context, CommandHandler handler);
    // The frames of an operation take the turn of its `context` on the line,
    // and are not sent once it is gone.

signals:
    // After any change of state().
    void changed();

private:
    void sendAll(QList<QByteArray> frames, QObject *context, CommandHandler handler);
    void poll(const char *queryCode);
    void take(const line::Result &result);
    void pollAfterCommand(std::function<void()> then);
    void update(const ProjectorState &next);

    line::ProjectorLine *m_line;
    PollIntervals m_intervals;
    ProjectorState m_state;
    QTimer m_statusTimer;
    QTimer m_modeTimer;
    QTimer m_lampTimer;
    QSet<QByteArray> m_polling; // queries on their way: one of each at a time
    int m_unanswered = 0;        // polls in a row without a readable reply
    // The status asked after commands, while it still waits for the line:
    // a command that ends meanwhile is answered by the same one.
    struct StatusAfterCommands
    {
        line::RequestId id = 0;
        std::shared_ptr<std::vector<std::function<void()>>> then;
    };
    std::optional<StatusAfterCommands> m_statusAfterCommands;
};

} // namespace koru::bridge
