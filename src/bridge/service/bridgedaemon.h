#pragma once

#include "bridge/bridgeprojector.h"
#include "bridge/pjlink/pjlinkserver.h"
#include "bridge/service/bridgesetup.h"

#include <QObject>

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

// The service: every projector's line, raw port and PJLink server,
// readiness and stopping told to the service manager.
class BridgeDaemon : public QObject
{
    Q_OBJECT

public:
    // `log`, when given, gets every line's traffic; it outlives the daemon.
    BridgeDaemon(const std::vector<ProjectorSetup> &setups, DaemonTimings timings, TrafficLog *log,
                 QObject *parent = nullptr);

    // Opens every listener, then the lines; ready once every listener is open.
    bool start(QString *error);
    // Closes the listeners and the lines.
    void stop();

    const std::vector<BridgeProjector *> &projectors() const { return m_projectors; }

signals:
    void notice(const QString &text);

private:
    struct Bridged
    {
        BridgeProjector *projector;
        PjlinkServer *pjlink; // null: no PJLink listener
        std::optional<ListenAddress> pjlinkAddress;
    };
    std::vector<Bridged> m_bridged;
    std::vector<BridgeProjector *> m_projectors;
};

} // namespace koru::bridge
