#include "bridge/bridgedaemon.h"

#include "line/projectorline.h"
#include "protocol/trafficlog.h"

#include <systemd/sd-daemon.h>

namespace koru::bridge {

BridgeDaemon::BridgeDaemon(const std::vector<ProjectorSetup> &setups, BridgeTimings timings, TrafficLog *log,
                           QObject *parent)
    : QObject(parent)
{
    for (const ProjectorSetup &setup : setups) {
        auto *projector = new BridgeProjector(setup.config, setup.password, timings, this);
        connect(projector, &BridgeProjector::notice, this, &BridgeDaemon::notice);
        if (log) {
            line::ProjectorLine *line = projector->line();
            const QString port = line->address();
            connect(line, &line::ProjectorLine::sent, this, [log, port](const QByteArray &bytes) { log->sent(port, bytes); });
            connect(line, &line::ProjectorLine::received, this,
                    [log, port](const QByteArray &bytes) { log->received(port, bytes); });
        }
        m_projectors.push_back(projector);
    }
}

bool BridgeDaemon::start(QString *error)
{
    for (BridgeProjector *projector : m_projectors) {
        QString reason;
        if (!projector->listen(&reason)) {
            *error = QStringLiteral("[%1] %2").arg(projector->config().id, reason);
            return false;
        }
    }
    for (BridgeProjector *projector : m_projectors)
        projector->start();
    sd_notify(0, "READY=1");
    return true;
}

void BridgeDaemon::stop()
{
    sd_notify(0, "STOPPING=1");
    for (BridgeProjector *projector : m_projectors)
        projector->close();
}

} // namespace koru::bridge
