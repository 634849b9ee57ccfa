#pragma once

#include "bridge/bridgeprojector.h"
#include "bridge/mqtt/mqttservice.h"
#include "bridge/pjlink/pjlinkserver.h"
#include "bridge/service/bridgesetup.h"

#include <QObject>

#include <optional>
#include <vector>

namespace koru {
class TrafficLog;
}

namespace koru::bridge {

// Every interval and bound of the daemon, so that tests can shorten them.
struct DaemonTimings
{
    BridgeTimings projector;
    PjlinkLimits pjlink;
};

// The service: every projector's line, raw port and PJLink server, and the
// MQTT client that publishes them; readiness, reloads and stopping told to
// the service manager.
class BridgeDaemon : public QObject
{
    Q_OBJECT

public:
    // `log`, when given, gets every line's traffic; it outlives the daemon.
    BridgeDaemon(DaemonTimings timings, TrafficLog *log, QObject *parent = nullptr);

    // Sets up the MQTT client and opens every listener, then the lines; ready
    // once every listener is open. What stops the start, worded.
    std::optional<QString> start(const ServiceConfig &config);
    // Applies `config` projector by projector, told as a reload: an
    // unchanged projector keeps its line, model and connections; a changed
    // one is restarted, a gone one closed, a new one started. A changed
    // [mqtt] restarts the MQTT client once the old one has said goodbye.
    void reload(const ServiceConfig &config);
    // A configuration that does not check: said, the running one kept.
    void refuseReload(const QString &reason);
    // Closes the listeners and the lines; the broker hears "offline";
    // stopped() once that is done.
    void stop();

signals:
    void notice(const QString &text);
    void stopped();

private:
    struct Served
    {
        ProjectorSetup setup;
        BridgeProjector *projector;
        PjlinkServer *pjlink; // null: no PJLink listener
    };
    Served build(const ProjectorSetup &setup);
    std::optional<QString> listen(const Served &served);
    void close(const Served &served);
    std::vector<MqttProjector> mqttProjectors() const;
    std::optional<QString> startMqtt();
    void retireMqtt();
    void finishIfStopped();

    DaemonTimings m_timings;
    TrafficLog *m_log;
    std::vector<Served> m_served; // in the configuration's order
    std::optional<MqttConfig> m_mqttConfig; // the one running, or to run once the old client has gone
    MqttService *m_mqtt = nullptr;
    MqttService *m_retiring = nullptr; // an old client saying goodbye
    bool m_stopping = false;
};

} // namespace koru::bridge
