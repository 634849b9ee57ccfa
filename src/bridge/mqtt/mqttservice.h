#pragma once

#include "bridge/mqtt/mqttconfig.h"
#include "bridge/mqtt/mqttdiscovery.h"
#include "bridge/mqtt/mqtttopics.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace koru::bridge {

class MqttClient;
class ProjectorModel;

// One bridged projector as the broker sees it.
struct MqttProjector
{
    DiscoveredProjector identity;
    ProjectorModel *model = nullptr;
};

// The bridge's projectors on the broker: their state on retained topics,
// published when it changes and all of it again at every connect; their
// /set and command topics turned into operations on the models; Home
// Assistant's discovery at connect and whenever Home Assistant comes back.
//
// Requests are carried out as they are published; one published retained is
// ignored, live or at a connect, so that nothing switches a projector by
// itself whenever the bridge connects. A /set request that is not carried
// out is said on <base>/<id>/error as well as in the log.
//
// What the bridge published last time lives on the broker itself: a
// retained list of projector ids under the bridge's own topic. At connect
// the old list comes back first; an id no longer configured has its
// discovery and state topics cleared. No state file is needed, and a bridge
// never clears another bridge's projectors.
class MqttService : public QObject
{
    Q_OBJECT

public:
    // Requests of one projector taken from the broker and not yet carried
    // out; past this a command is answered "busy" at once and a /set is
    // dropped, so that one publisher cannot fill the projector's line.
    static constexpr int kMaxWaitingRequests = 16;

    MqttService(const MqttConfig &config, std::vector<MqttProjector> projectors, QObject *parent = nullptr);

    // What stops the client from starting (a password file it cannot read ...).
    std::optional<QString> start();
    // Every projector "offline", then the bridge's own availability; emits
    // stopped() when done.
    void stop();

    MqttClient *client() const { return m_client; }

    // The projectors after a reload: a gone one has its topics cleared, a
    // new or restarted one (a model of its own) is published afresh, one
    // kept as it was goes on untouched.
    void setProjectors(std::vector<MqttProjector> projectors);

signals:
    // A line for the log.
    void notice(const QString &text);
    void stopped();

private:
    void connected();
    void received(const QByteArray &topic, const QByteArray &payload, bool retained);
    void publishDiscovery();
    void publishState(const MqttProjector &projector);
    void publishRetained(const QByteArray &topic, const QByteArray &payload);
    void clearRemoved(const QByteArray &previousList);
    void clearTopics(const QString &id);
    void follow(const MqttProjector &projector);
    void publishProjectorList();
    void refuseSet(const QString &id, const Route &route, const QByteArray &payload, const char *result,
                   const QString &why);
    void request(const MqttProjector &projector, const Route &route, const QByteArray &payload);
    void command(const MqttProjector &projector, const QByteArray &payload);
    const MqttProjector *projectorById(const QString &id) const;
    // Takes one more request of the projector unless it has as many waiting
    // as it may; says once when it starts and stops refusing.
    bool admit(const MqttProjector &projector);
    void carriedOut(const QString &id);
    const MqttProjector *projectorByModel(const ProjectorModel *model) const;

    MqttConfig m_config;
    std::vector<MqttProjector> m_projectors;
    MqttClient *m_client;
    // The payload last published on each retained topic since the connect,
    // so that a change of one value publishes one message.
    QHash<QByteArray, QByteArray> m_published;
    // Per projector id: its requests waiting, and those refused since the
    // refusing began (none: it is not refusing).
    QHash<QString, int> m_waiting;
    QHash<QString, int> m_refused;
    // The request topics a retained request was ignored on, said once each.
    QSet<QByteArray> m_retainedSaid;
};

} // namespace koru::bridge
