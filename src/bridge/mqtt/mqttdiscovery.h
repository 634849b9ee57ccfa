#pragma once

#include "bridge/mqtt/mqttconfig.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace koru::bridge {

// What Home Assistant's device registry shows of a projector.
struct DiscoveredProjector
{
    QString id;
    QString name;  // empty: the id
    QString model; // empty: left out
};

struct RetainedMessage
{
    QByteArray topic;
    QByteArray payload;
};

// One device per projector with its seven entities (power switch, input
// select, the two mute switches, lamp hours, status words, problem), each
// unavailable unless both the projector and the bridge are online; routed
// through the bridge's own device.
std::vector<RetainedMessage> projectorDiscovery(const MqttConfig &config, const QString &clientId,
                                                const DiscoveredProjector &projector);
// The bridge as a device of its own, with its connectivity.
RetainedMessage bridgeDiscovery(const MqttConfig &config, const QString &clientId);

// Every discovery topic of a projector, to clear it when it leaves the
// configuration.
std::vector<QByteArray> projectorDiscoveryTopics(const MqttConfig &config, const QString &id);

// An id as Home Assistant takes it in a discovery topic and a unique id:
// letters, digits and '-' stay, any other byte becomes _XX, so that two ids
// never meet ("room-2.14" -> "room-2_2e14").
QString discoveryObjectId(const QString &id);

} // namespace koru::bridge
