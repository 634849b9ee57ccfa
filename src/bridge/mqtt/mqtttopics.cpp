#include "bridge/mqtt/mqtttopics.h"

#include "protocol/commandwords.h"

#include <QStringList>

#include <algorithm>

namespace koru::bridge {

namespace {

struct InputRow
{
    Input input;
    const char *word;
};
// The words of the select in Home Assistant and of <id>/input/set.
constexpr std::array<InputRow, 3> kInputs { {
    { Input::Computer, "PC" },
    { Input::Mci, "MCI" },
    { Input::Video, "Video" },
} };

QByteArray join(const QString &base, const QString &id, const char *leaf)
{
    return base.toUtf8() + '/' + id.toUtf8() + '/' + leaf;
}

const char *leafOf(StateTopic topic)
{
    for (const StateTopicRow &row : stateTopicTable()) {
        if (row.topic == topic)
            return row.leaf;
    }
    return "";
}

QString oneOf(const QList<QByteArray> &words)
{
    QStringList texts;
    for (const QByteArray &word : words)
        texts << QString::fromLatin1(word);
    return texts.join(QStringLiteral(", "));
}

} // namespace

const std::array<StateTopicRow, 8> &stateTopicTable()
{
    static const std::array<StateTopicRow, 8> table { {
        { StateTopic::Availability, "availability", std::nullopt },
        { StateTopic::Power, "power", Setting::Power },
        { StateTopic::Input, "input", Setting::Input },
        { StateTopic::AudioMute, "audio_mute", Setting::AudioMute },
        { StateTopic::VideoMute, "video_mute", Setting::VideoMute },
        { StateTopic::LampHours, "lamp_hours", std::nullopt },
        { StateTopic::Status, "status", std::nullopt },
        { StateTopic::Problem, "problem", std::nullopt },
    } };
    return table;
}

QByteArray stateTopic(const QString &base, const QString &id, StateTopic topic)
{
    return join(base, id, leafOf(topic));
}

QByteArray setTopic(const QString &base, const QString &id, Setting setting)
{
    for (const StateTopicRow &row : stateTopicTable()) {
        if (row.setting == setting)
            return join(base, id, row.leaf) + "/set";
    }
    return QByteArray();
}

QByteArray setTopicFilter(const QString &base, const QString &id)
{
    return join(base, id, "+/set");
}

QByteArray commandTopic(const QString &base, const QString &id)
{
    return join(base, id, "command");
}

QByteArray commandResultTopic(const QString &base, const QString &id)
{
    return join(base, id, "command/result");
}

QByteArray errorTopic(const QString &base, const QString &id)
{
    return join(base, id, "error");
}

QByteArray bridgeAvailabilityTopic(const QString &base, const QString &clientId)
{
    return join(base, QStringLiteral("bridge/") + clientId, "availability");
}

QByteArray bridgeProjectorsTopic(const QString &base, const QString &clientId)
{
    return join(base, QStringLiteral("bridge/") + clientId, "projectors");
}

QByteArray homeAssistantStatusTopic(const QString &discoveryPrefix)
{
    return discoveryPrefix.toUtf8() + "/status";
}

bool isTopicLevel(QStringView id)
{
    if (id.isEmpty() || id.startsWith(u'$'))
        return false;
    for (QChar c : id) {
        if (c.unicode() < 0x20 || c == u'/' || c == u'+' || c == u'#')
            return false;
    }
    return true;
}

QByteArray powerWord(PowerState state)
{
    switch (state) {
    case PowerState::On:
    case PowerState::KeyInputProhibition: // lit, its keys locked
        return "on";
    case PowerState::StandBy:
        return "off";
    case PowerState::CountDown:
        return "warming";
    case PowerState::CoolingDown:
        return "cooling";
    case PowerState::PowerAbnormality:
    case PowerState::TemperatureAbnormality:
        return "fault";
    }
    return "fault";
}

QByteArray inputWord(Input input)
{
    for (const InputRow &row : kInputs) {
        if (row.input == input)
            return row.word;
    }
    return QByteArray();
}

QList<QByteArray> inputWords()
{
    QList<QByteArray> words;
    for (const InputRow &row : kInputs)
        words << row.word;
    return words;
}

QByteArray onOffWord(bool on)
{
    return on ? kOn : kOff;
}

bool isProblem(PowerState state)
{
    return state == PowerState::PowerAbnormality || state == PowerState::TemperatureAbnormality;
}

std::optional<Route> routeOf(const QString &base, QByteArrayView topic)
{
    const QByteArray prefix = base.toUtf8() + '/';
    if (!topic.startsWith(prefix))
        return std::nullopt;
    const QList<QByteArray> levels = topic.sliced(prefix.size()).toByteArray().split('/');
    if (levels.size() == 2 && levels[1] == "command" && !levels[0].isEmpty())
        return Route { QString::fromUtf8(levels[0]), std::nullopt };
    if (levels.size() != 3 || levels[2] != "set" || levels[0].isEmpty())
        return std::nullopt;
    for (const StateTopicRow &row : stateTopicTable()) {
        if (row.setting && levels[1] == row.leaf)
            return Route { QString::fromUtf8(levels[0]), row.setting };
    }
    return std::nullopt;
}

QString quotedPayload(QByteArrayView payload)
{
    QString text;
    for (char c : payload) {
        const auto byte = uchar(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\' && c != '"')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return u'"' + text + u'"';
}

ParsedSet parseSetPayload(Setting setting, QByteArrayView payload)
{
    if (payload.size() > kMaxRequestPayload)
        return { std::nullopt, QStringLiteral("a payload of %1 bytes, over the limit of %2").arg(payload.size()).arg(kMaxRequestPayload) };
    const QByteArrayView word = payload.trimmed();
    const auto is = [word](const char *wanted) { return word.compare(wanted, Qt::CaseInsensitive) == 0; };
    if (setting == Setting::Input) {
        for (const InputRow &row : kInputs) {
            if (is(row.word))
                return { SetValue(row.input), QString() };
        }
        return { std::nullopt, QStringLiteral("%1 is not one of %2").arg(quotedPayload(payload), oneOf(inputWords())) };
    }
    if (is(kOn) || is(kOff))
        return { SetValue(is(kOn)), QString() };
    return { std::nullopt, QStringLiteral("%1 is not one of %2, %3").arg(quotedPayload(payload), QLatin1String(kOn), QLatin1String(kOff)) };
}

ParsedCommand parseCommandPayload(QByteArrayView payload)
{
    if (payload.size() > kMaxRequestPayload)
        return { nullptr, QStringLiteral("a payload of %1 bytes, over the limit of %2").arg(payload.size()).arg(kMaxRequestPayload) };
    // Every name is ASCII: anything else cannot be one.
    const QByteArrayView word = payload.trimmed();
    const bool ascii = std::all_of(word.begin(), word.end(), [](char c) { return uchar(c) >= 0x20 && uchar(c) < 0x7f; });
    if (!ascii)
        return { nullptr, QStringLiteral("%1 is no command name of koru-ctl --list").arg(quotedPayload(payload)) };
    const CommandLookup lookup = lookUpCommand(QString::fromLatin1(word));
    return { lookup.command, lookup.refusal };
}

} // namespace koru::bridge
