#pragma once

#include "bridge/bridgeprojector.h"
#include "sim/projectorsim.h"

#include <QTest>

#include <memory>

namespace koru::test {

using namespace std::chrono_literals;

// Short enough that the suites do not wait for the real ones.
inline bridge::BridgeTimings quickTimings()
{
    bridge::BridgeTimings timings;
    timings.polls = { 200ms, 1s, 1s };
    timings.reopen = { 100ms, 400ms };
    return timings;
}

inline sim::SimOptions quickProjector()
{
    sim::SimOptions options;
    options.projector.countDown = 300ms;
    options.projector.coolingDown = 600ms;
    options.projector.lampHours = 1234;
    return options;
}

// The simulated projector on a pty and one bridged projector in front of it,
// its raw port on a loopback port of the system's choosing, the line open and
// polled once. The rooms' suites build their own on its model.
struct BridgeFixture
{
    explicit BridgeFixture(bridge::BridgeTimings timings = quickTimings(), int maxConnections = 8,
                           int maxPerAddress = bridge::kDefaultMaxConnectionsPerAddress,
                           const sim::SimOptions &options = quickProjector())
        : sim(options)
    {
        if (!sim.start())
            return;
        bridge::ProjectorConfig config;
        config.id = QStringLiteral("room");
        config.port = sim.devicePath();
        config.name = QStringLiteral("Room 2.14");
        config.model = QStringLiteral("LMV5");
        config.info = QStringLiteral("second floor");
        config.raw = bridge::ListenAddress { QHostAddress(QHostAddress::LocalHost), 0 };
        config.maxConnections = maxConnections;
        config.maxConnectionsPerAddress = maxPerAddress;
        projector = std::make_unique<bridge::BridgeProjector>(config, timings);
        QString error;
        if (!projector->listen(&error)) {
            qWarning("bridge did not listen: %s", qPrintable(error));
            return;
        }
        projector->start();
        ready = QTest::qWaitFor([this] { return state().power && state().input && state().lampHours; }, 3000);
    }

    const bridge::ProjectorState &state() const { return projector->model()->state(); }
    quint16 rawPort() const { return projector->rawServer()->serverPort(); }

    sim::ProjectorSim sim;
    std::unique_ptr<bridge::BridgeProjector> projector; // goes before the simulator
    bool ready = false;
};

} // namespace koru::test
