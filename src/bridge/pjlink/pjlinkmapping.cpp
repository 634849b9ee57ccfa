#include "bridge/pjlink/pjlinkmapping.h"

#include <algorithm>
#include <functional>

namespace koru::bridge::pjlink {

namespace {

constexpr char kQuery[] = "?";

// Set commands: body and parameter to the operation.
struct SetRow
{
    const char *body;
    const char *parameter;
    Operation operation;
};

const std::vector<SetRow> &setRows()
{
    static const std::vector<SetRow> rows = [] {
        std::vector<SetRow> built = {
            { "POWR", "1", PowerOperation { true } },
            { "POWR", "0", PowerOperation { false } },
            { "AVMT", "11", MuteOperation { true, std::nullopt } },
            { "AVMT", "10", MuteOperation { false, std::nullopt } },
            { "AVMT", "21", MuteOperation { std::nullopt, true } },
            { "AVMT", "20", MuteOperation { std::nullopt, false } },
            { "AVMT", "31", MuteOperation { true, true } },
            { "AVMT", "30", MuteOperation { false, false } },
        };
        for (const InputCode &input : inputCodes())
            built.push_back({ "INPT", input.code, InputOperation { input.input } });
        return built;
    }();
    return rows;
}

using Answer = std::function<QByteArray(const ProjectorState &, const Identity &)>;

QByteArray failure()
{
    return errorText(Error::Failure);
}

QByteArray powerAnswer(const ProjectorState &state, const Identity &)
{
    if (!state.lineAvailable || !state.power)
        return failure();
    switch (*state.power) {
    case PowerState::StandBy: return "0";
    case PowerState::On: return "1";
    case PowerState::CoolingDown: return "2";
    case PowerState::CountDown: return "3";
    case PowerState::KeyInputProhibition: return errorText(Error::NotPossibleNow);
    case PowerState::PowerAbnormality:
    case PowerState::TemperatureAbnormality: break;
    }
    return failure();
}

QByteArray inputAnswer(const ProjectorState &state, const Identity &)
{
    if (!state.lineAvailable || !state.input)
        return failure();
    const auto &codes = inputCodes();
    const auto found = std::find_if(codes.begin(), codes.end(),
                                    [&](const InputCode &row) { return row.input == *state.input; });
    return found == codes.end() ? failure() : QByteArray(found->code);
}

QByteArray inputListAnswer(const ProjectorState &, const Identity &)
{
    QByteArrayList codes;
    for (const InputCode &row : inputCodes())
        codes.append(row.code);
    return codes.join(' ');
}

QByteArray muteAnswer(const ProjectorState &state, const Identity &)
{
    // What the bridge last set holds only while the projector answers.
    if (!state.answering)
        return failure();
    if (state.videoMuted && state.audioMuted)
        return "31";
    if (state.videoMuted)
        return "11";
    return state.audioMuted ? "21" : "30";
}

QByteArray errorStatusAnswer(const ProjectorState &state, const Identity &)
{
    if (!state.lineAvailable || !state.power)
        return failure();
    // fan, lamp, temperature, cover, filter, other
    QByteArray digits("000000");
    if (*state.power == PowerState::TemperatureAbnormality)
        digits[2] = '2';
    if (*state.power == PowerState::PowerAbnormality)
        digits[5] = '2';
    return digits;
}

QByteArray lampAnswer(const ProjectorState &state, const Identity &)
{
    if (!state.lineAvailable || !state.lampHours || !state.power)
        return failure();
    const bool lit = *state.power == PowerState::On || *state.power == PowerState::CountDown;
    return QByteArray::number(state.lampHours->hours) + (lit ? " 1" : " 0");
}

const std::vector<std::pair<const char *, Answer>> &queryRows()
{
    static const std::vector<std::pair<const char *, Answer>> rows = {
        { "POWR", powerAnswer },
        { "INPT", inputAnswer },
        { "INST", inputListAnswer },
        { "AVMT", muteAnswer },
        { "ERST", errorStatusAnswer },
        { "LAMP", lampAnswer },
        { "NAME", [](const ProjectorState &, const Identity &id) { return id.name; } },
        { "INF1", [](const ProjectorState &, const Identity &) { return QByteArray(kManufacturer); } },
        { "INF2", [](const ProjectorState &, const Identity &id) { return id.model; } },
        { "INFO", [](const ProjectorState &, const Identity &id) { return id.info; } },
        { "CLSS", [](const ProjectorState &, const Identity &) { return QByteArray("1"); } },
    };
    return rows;
}

bool isKnownBody(const QByteArray &body)
{
    const auto &queries = queryRows();
    const auto &sets = setRows();
    return std::any_of(queries.begin(), queries.end(), [&](const auto &row) { return body == row.first; })
        || std::any_of(sets.begin(), sets.end(), [&](const SetRow &row) { return body == row.body; });
}

} // namespace

QByteArray errorText(Error error)
{
    switch (error) {
    case Error::UnknownCommand: return "ERR1";
    case Error::BadParameter: return "ERR2";
    case Error::NotPossibleNow: return "ERR3";
    case Error::Failure: break;
    }
    return "ERR4";
}

const std::vector<InputCode> &inputCodes()
{
    // MCI shows pages the projector turns itself: PJLink's STORAGE.
    static const std::vector<InputCode> codes = {
        { Input::Computer, "11" },
        { Input::Mci, "41" },
        { Input::Video, "21" },
    };
    return codes;
}

Decision decide(const Request &request, const ProjectorState &state, const Identity &identity)
{
    if (request.pjlinkClass != '1' || !isKnownBody(request.body))
        return { errorText(Error::UnknownCommand), std::nullopt };
    const auto &queries = queryRows();
    const auto query = std::find_if(queries.begin(), queries.end(),
                                    [&](const auto &row) { return request.body == row.first; });
    const auto &sets = setRows();
    if (request.parameter == kQuery) {
        if (query == queries.end())
            return { errorText(Error::BadParameter), std::nullopt };
        return { query->second(state, identity), std::nullopt };
    }
    const auto set = std::find_if(sets.begin(), sets.end(), [&](const SetRow &row) {
        return request.body == row.body && request.parameter == row.parameter;
    });
    if (set == sets.end())
        return { errorText(Error::BadParameter), std::nullopt };
    return { {}, set->operation };
}

std::optional<QByteArray> malformedAnswer(const MalformedRequest &malformed)
{
    const bool known = malformed.request.pjlinkClass == '1' && isKnownBody(malformed.request.body);
    if (malformed.headerMissing)
        return known ? std::optional(errorText(Error::UnknownCommand)) : std::nullopt;
    return errorText(known ? Error::BadParameter : Error::UnknownCommand);
}

QByteArray outcomeAnswer(CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Done: return "OK";
    case CommandOutcome::Refused:
    case CommandOutcome::NotPossibleNow: return errorText(Error::NotPossibleNow);
    case CommandOutcome::UnknownCommand: return errorText(Error::UnknownCommand);
    case CommandOutcome::NoAnswer: break;
    }
    return errorText(Error::Failure);
}

} // namespace koru::bridge::pjlink
