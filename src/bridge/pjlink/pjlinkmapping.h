#pragma once

#include "bridge/pjlink/pjlinkprotocol.h"
#include "bridge/projectormodel.h"

#include <QByteArray>

#include <optional>
#include <variant>

namespace koru::bridge::pjlink {

enum class Error {
    UnknownCommand, // ERR1
    BadParameter,   // ERR2
    NotPossibleNow, // ERR3
    Failure,        // ERR4: the projector failed, or the line is silent
};
QByteArray errorText(Error error);

// What a set command asks the model to do.
struct PowerOperation
{
    bool on = false;
};
struct InputOperation
{
    Input input = Input::Computer;
};
struct MuteOperation
{
    std::optional<bool> video;
    std::optional<bool> audio;
};
using Operation = std::variant<PowerOperation, InputOperation, MuteOperation>;

// What a projector says of itself beside its state.
struct Identity
{
    QByteArray name;
    QByteArray model;
    QByteArray info;
};
inline constexpr char kManufacturer[] = "KORU";

// One request read against the bridge's model: either the answer now, or an
// operation whose outcome is the answer (outcomeAnswer()).
struct Decision
{
    QByteArray answer;
    std::optional<Operation> operation;
};
Decision decide(const Request &request, const ProjectorState &state, const Identity &identity);

// The error a malformed request is answered with: ERR1 for a body this
// projector does not know or a missing header (the command itself is
// wrong), ERR2 for a known body with no proper parameter after it. None when
// the line is no PJLink at all: a headerless one whose body is no command.
std::optional<QByteArray> malformedAnswer(const MalformedRequest &malformed);

// The answer to a set command once the model has carried it out.
QByteArray outcomeAnswer(CommandOutcome outcome);

// The inputs PJLink names, each as "type digit, number digit".
struct InputCode
{
    Input input;
    const char *code;
};
const std::vector<InputCode> &inputCodes();

} // namespace koru::bridge::pjlink
