#pragma once

#include "bridge/pjlink/pjlinkserver.h"
#include "support/bridgefixture.h"

#include <memory>

namespace koru::test {

// Short enough that the suites do not wait for the real ones.
inline bridge::PjlinkLimits quickPjlinkLimits()
{
    bridge::PjlinkLimits limits;
    limits.idle = 2s;
    limits.auth = { 3, std::chrono::minutes(1), 600ms };
    limits.shutOutPause = 300ms;
    return limits;
}

// The bridged projector of BridgeFixture with a PJLink server on its model,
// on a loopback port of the system's choosing.
struct PjlinkFixture : BridgeFixture
{
    explicit PjlinkFixture(const QByteArray &password = {}, bridge::PjlinkLimits limits = quickPjlinkLimits(),
                           int maxConnections = 8, int maxPerAddress = bridge::kDefaultMaxConnectionsPerAddress)
        : BridgeFixture(quickTimings(), maxConnections, maxPerAddress)
    {
        if (!ready)
            return;
        limits.connections = { maxConnections, maxPerAddress };
        const bridge::ProjectorConfig &config = projector->config();
        const bridge::pjlink::Identity identity { config.name.toLatin1(), config.model.toLatin1(),
                                                  config.info.toLatin1() };
        server = std::make_unique<bridge::PjlinkServer>(projector->model(), identity, password, limits);
        QString error;
        ready = server->listen(bridge::ListenAddress { QHostAddress(QHostAddress::LocalHost), 0 }, &error);
        if (!ready)
            qWarning("PJLink did not listen: %s", qPrintable(error));
    }

    quint16 pjlinkPort() const { return server->serverPort(); }

    std::unique_ptr<bridge::PjlinkServer> server; // goes before the projector whose model it answers from
};

} // namespace koru::test
