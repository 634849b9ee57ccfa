#pragma once

#include "protocol/catalogue.h"
#include "protocol/replyreading.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>
#include <variant>

namespace koru::bridge {

// What a projector publishes, each on its own retained topic under
// <base>/<id>/.
enum class StateTopic { Availability, Power, Input, AudioMute, VideoMute, LampHours, Status, Problem };
// What can be set through <base>/<id>/<leaf>/set.
enum class Setting { Power, Input, AudioMute, VideoMute };

struct StateTopicRow
{
    StateTopic topic;
    const char *leaf;
    std::optional<Setting> setting; // the state this topic's /set changes
};
const std::array<StateTopicRow, 8> &stateTopicTable();

// Topic names. `base` is the configured base topic, `id` the projector's.
QByteArray stateTopic(const QString &base, const QString &id, StateTopic topic);
QByteArray setTopic(const QString &base, const QString &id, Setting setting);
QByteArray setTopicFilter(const QString &base, const QString &id); // <base>/<id>/+/set
QByteArray commandTopic(const QString &base, const QString &id);
QByteArray commandResultTopic(const QString &base, const QString &id);
// Where a /set request that was not carried out is said.
QByteArray errorTopic(const QString &base, const QString &id);
// The bridge's own: its availability (the last will) and the list of the
// projectors it has published, which tells the next start what to clear.
QByteArray bridgeAvailabilityTopic(const QString &base, const QString &clientId);
QByteArray bridgeProjectorsTopic(const QString &base, const QString &clientId);
// Where Home Assistant says it has (re)started.
QByteArray homeAssistantStatusTopic(const QString &discoveryPrefix);

// Whether `id` can stand as one topic level (and so as a projector's id here).
bool isTopicLevel(QStringView id);

// Payload words.
inline constexpr char kOnline[] = "online";
inline constexpr char kOffline[] = "offline";
inline constexpr char kOn[] = "ON";
inline constexpr char kOff[] = "OFF";
QByteArray powerWord(PowerState state);   // on, off, warming, cooling, fault
QByteArray inputWord(Input input);        // PC, MCI, Video
QByteArray onOffWord(bool on);            // ON, OFF
bool isProblem(PowerState state);         // the abnormality rows
QList<QByteArray> inputWords();           // every input word, in table order

// A /set topic or the command topic of one of `ids`, read from a topic name.
struct Route
{
    QString id;
    std::optional<Setting> setting; // none: the command topic
};
std::optional<Route> routeOf(const QString &base, QByteArrayView topic);

// The longest payload a /set or command topic takes; anything longer is
// refused unread.
inline constexpr qsizetype kMaxRequestPayload = 64;

using SetValue = std::variant<bool, Input>; // on/off, or the input
struct ParsedSet
{
    std::optional<SetValue> value;
    QString error; // why not, when no value
};
// One of the topic's words in any case, white space around it left out
// (mosquitto_pub -s sends the newline of echo); nothing else.
ParsedSet parseSetPayload(Setting setting, QByteArrayView payload);

struct ParsedCommand
{
    const Command *command = nullptr;
    QString error;
};
// A command as koru-ctl takes it: a name of koru-ctl --list, a synonym
// ("lamp-hours") or a code, white space around it left out; a misspelt name
// is refused with the names it may have meant.
ParsedCommand parseCommandPayload(QByteArrayView payload);

// A payload as it may appear in a log line: printable ASCII, the rest as \xNN.
QString quotedPayload(QByteArrayView payload);

} // namespace koru::bridge
