#include "bridge/mqtt/mqttdiscovery.h"

#include "bridge/mqtt/mqtttopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace koru::bridge {

namespace {

struct EntityRow
{
    const char *component;
    StateTopic state; // its topic's leaf is the entity's object id
    const char *name;
};

constexpr std::array<EntityRow, 7> kEntities { {
    { "switch", StateTopic::Power, "Power" },
    { "select", StateTopic::Input, "Input" },
    { "switch", StateTopic::AudioMute, "Audio mute" },
    { "switch", StateTopic::VideoMute, "Video mute" },
    { "sensor", StateTopic::LampHours, "Lamp hours" },
    { "sensor", StateTopic::Status, "Status" },
    { "binary_sensor", StateTopic::Problem, "Problem" },
} };

const StateTopicRow &rowOf(StateTopic topic)
{
    for (const StateTopicRow &row : stateTopicTable()) {
        if (row.topic == topic)
            return row;
    }
    return stateTopicTable().front();
}

QString nodeOf(const QString &id)
{
    return QStringLiteral("koru_") + discoveryObjectId(id);
}

QByteArray discoveryTopic(const MqttConfig &config, const char *component, const QString &node, const char *object)
{
    return config.discoveryPrefix.toUtf8() + '/' + component + '/' + node.toUtf8() + '/' + object + "/config";
}

QJsonArray availabilityOf(const MqttConfig &config, const QString &clientId, const QString &id)
{
    QJsonArray list;
    for (const QByteArray &topic : { stateTopic(config.baseTopic, id, StateTopic::Availability),
                                     bridgeAvailabilityTopic(config.baseTopic, clientId) }) {
        list.append(QJsonObject { { QStringLiteral("topic"), QString::fromUtf8(topic) },
                                  { QStringLiteral("payload_available"), QLatin1String(kOnline) },
                                  { QStringLiteral("payload_not_available"), QLatin1String(kOffline) } });
    }
    return list;
}

// What each kind of entity needs beyond the common keys.
void addEntityKeys(QJsonObject &object, const MqttConfig &config, const QString &id, const StateTopicRow &row)
{
    if (row.setting)
        object.insert(QStringLiteral("command_topic"), QString::fromUtf8(setTopic(config.baseTopic, id, *row.setting)));
    switch (row.topic) {
    case StateTopic::Power:
        // The switch is on while the lamp is lit or lighting; the four
        // words stay readable on the topic itself and in the status sensor.
        object.insert(QStringLiteral("payload_on"), QLatin1String(kOn));
        object.insert(QStringLiteral("payload_off"), QLatin1String(kOff));
        object.insert(QStringLiteral("value_template"),
                      QStringLiteral("{{ 'ON' if value in ('%1', '%2') else 'OFF' }}")
                          .arg(QString::fromLatin1(powerWord(PowerState::On)),
                               QString::fromLatin1(powerWord(PowerState::CountDown))));
        object.insert(QStringLiteral("state_on"), QLatin1String(kOn));
        object.insert(QStringLiteral("state_off"), QLatin1String(kOff));
        break;
    case StateTopic::Input: {
        QJsonArray options;
        for (const QByteArray &word : inputWords())
            options.append(QString::fromLatin1(word));
        object.insert(QStringLiteral("options"), options);
        break;
    }
    case StateTopic::AudioMute:
    case StateTopic::VideoMute:
        object.insert(QStringLiteral("payload_on"), QLatin1String(kOn));
        object.insert(QStringLiteral("payload_off"), QLatin1String(kOff));
        break;
    case StateTopic::LampHours:
        object.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("h"));
        object.insert(QStringLiteral("device_class"), QStringLiteral("duration"));
        object.insert(QStringLiteral("state_class"), QStringLiteral("total_increasing"));
        break;
    case StateTopic::Problem:
        object.insert(QStringLiteral("payload_on"), QLatin1String(kOn));
        object.insert(QStringLiteral("payload_off"), QLatin1String(kOff));
        object.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        break;
    case StateTopic::Status:
    case StateTopic::Availability:
        break;
    }
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QString discoveryObjectId(const QString &id)
{
    QString object;
    for (const char c : id.toUtf8()) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        object += kept ? QString(QLatin1Char(c)) : QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return object;
}

std::vector<RetainedMessage> projectorDiscovery(const MqttConfig &config, const QString &clientId,
                                                const DiscoveredProjector &projector)
{
    const QString node = nodeOf(projector.id);
    QJsonObject device { { QStringLiteral("identifiers"), QJsonArray { node } },
                         { QStringLiteral("name"), projector.name.isEmpty() ? projector.id : projector.name },
                         { QStringLiteral("manufacturer"), QStringLiteral("KORU") },
                         { QStringLiteral("via_device"), clientId } };
    if (!projector.model.isEmpty())
        device.insert(QStringLiteral("model"), projector.model);
    const QJsonArray availability = availabilityOf(config, clientId, projector.id);

    std::vector<RetainedMessage> messages;
    for (const EntityRow &entity : kEntities) {
        const StateTopicRow &row = rowOf(entity.state);
        QJsonObject object { { QStringLiteral("name"), QLatin1String(entity.name) },
                             { QStringLiteral("unique_id"), node + u'_' + QLatin1String(row.leaf) },
                             { QStringLiteral("state_topic"),
                               QString::fromUtf8(stateTopic(config.baseTopic, projector.id, entity.state)) },
                             { QStringLiteral("availability"), availability },
                             { QStringLiteral("availability_mode"), QStringLiteral("all") },
                             { QStringLiteral("device"), device } };
        addEntityKeys(object, config, projector.id, row);
        messages.push_back({ discoveryTopic(config, entity.component, node, row.leaf), compact(object) });
    }
    return messages;
}

RetainedMessage bridgeDiscovery(const MqttConfig &config, const QString &clientId)
{
    const QString node = discoveryObjectId(clientId);
    const QJsonObject object {
        { QStringLiteral("name"), QStringLiteral("Connected") },
        { QStringLiteral("unique_id"), node + QStringLiteral("_connectivity") },
        { QStringLiteral("state_topic"), QString::fromUtf8(bridgeAvailabilityTopic(config.baseTopic, clientId)) },
        { QStringLiteral("payload_on"), QLatin1String(kOnline) },
        { QStringLiteral("payload_off"), QLatin1String(kOffline) },
        { QStringLiteral("device_class"), QStringLiteral("connectivity") },
        { QStringLiteral("device"),
          QJsonObject { { QStringLiteral("identifiers"), QJsonArray { clientId } },
                        { QStringLiteral("name"), clientId },
                        { QStringLiteral("manufacturer"), QStringLiteral("KORU") },
                        { QStringLiteral("model"), QStringLiteral("koru-bridge") } } },
    };
    return { discoveryTopic(config, "binary_sensor", node, "connectivity"), compact(object) };
}

std::vector<QByteArray> projectorDiscoveryTopics(const MqttConfig &config, const QString &id)
{
    std::vector<QByteArray> topics;
    for (const EntityRow &entity : kEntities)
        topics.push_back(discoveryTopic(config, entity.component, nodeOf(id), rowOf(entity.state).leaf));
    return topics;
}

} // namespace koru::bridge
