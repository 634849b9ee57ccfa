#include "bridge/service/bridgedaemon.h"

#include "line/projectorline.h"
#include "protocol/trafficlog.h"

#include <systemd/sd-daemon.h>

namespace koru::bridge {

BridgeDaemon::BridgeDaemon(const std::vector<ProjectorSetup> &setups, DaemonTimings timings, TrafficLog *log,
                           QObject *parent)
    : QObject(parent)
{
    for (const ProjectorSetup &setup : setups) {
        const ProjectorConfig &config = setup.projector;
        auto *projector = new BridgeProjector(config, timings.projector, this);
        connect(projector, &BridgeProjector::notice, this, &BridgeDaemon::notice);
        PjlinkServer *pjlink = nullptr;
        if (setup.pjlink.listen) {
            PjlinkLimits limits = timings.pjlink;
            limits.connections = { config.maxConnections, config.maxConnectionsPerAddress };
            const pjlink::Identity identity { config.name.toLatin1(), config.model.toLatin1(), config.info.toLatin1() };
            pjlink = new PjlinkServer(projector->model(), identity, setup.password, limits, projector);
            connect(pjlink, &PjlinkServer::notice, projector, &BridgeProjector::say);
        }
        if (log) {
            line::ProjectorLine *line = projector->line();
            const QString port = line->address();
            connect(line, &line::ProjectorLine::sent, this, [log, port](const QByteArray &bytes) { log->sent(port, bytes); });
            connect(line, &line::ProjectorLine::received, this,
                    [log, port](const QByteArray &bytes) { log->received(port, bytes); });
        }
        m_bridged.push_back({ projector, pjlink, setup.pjlink.listen });
        m_projectors.push_back(projector);
    }
}

bool BridgeDaemon::start(QString *error)
{
    for (const Bridged &bridged : m_bridged) {
        QString reason;
        // PJLink first, then the raw port, which names itself in the reason.
        if (bridged.pjlink && !bridged.pjlink->listen(*bridged.pjlinkAddress, &reason))
            reason = QStringLiteral("PJLink on %1: %2").arg(bridged.pjlinkAddress->toString(), reason);
        else if (bridged.projector->listen(&reason))
            continue;
        *error = QStringLiteral("[%1] %2").arg(bridged.projector->config().id, reason);
        return false;
    }
    for (BridgeProjector *projector : m_projectors)
        projector->start();
    sd_notify(0, "READY=1");
    return true;
}

void BridgeDaemon::stop()
{
    sd_notify(0, "STOPPING=1");
    for (const Bridged &bridged : m_bridged) {
        if (bridged.pjlink)
            bridged.pjlink->close();
        bridged.projector->close();
    }
}

} // namespace koru::bridge
