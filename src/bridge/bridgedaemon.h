#pragma once

#include "bridge/bridgeprojector.h"

#include <QObject>

#include <vector>

namespace koru {
class TrafficLog;
}

namespace koru::bridge {

// One configured projector and its PJLink password (empty: none).
struct ProjectorSetup
{
    ProjectorConfig config;
    QByteArray password;
};

// The service: every projector's listeners and line, readiness and stopping
// told to the service manager.
class BridgeDaemon : public QObject
{
    Q_OBJECT

public:
    // `log`, when given, gets every line's traffic; it outlives the daemon.
    BridgeDaemon(const std::vector<ProjectorSetup> &setups, BridgeTimings timings, TrafficLog *log,
                 QObject *parent = nullptr);

    // Opens every listener, then the lines; ready once every listener is open.
    bool start(QString *error);
    // Closes the listeners and the lines.
    void stop();

    const std::vector<BridgeProjector *> &projectors() const { return m_projectors; }

signals:
    void notice(const QString &text);

private:
    std::vector<BridgeProjector *> m_projectors;
};

} // namespace koru::bridge
