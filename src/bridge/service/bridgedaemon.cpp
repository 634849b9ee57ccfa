#include "bridge/service/bridgedaemon.h"

#include "bridge/service/reloadplan.h"
#include "line/projectorline.h"
#include "protocol/trafficlog.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <chrono>

namespace koru::bridge {

namespace {

// The service manager wants the reload's start stamped with the monotonic
// clock, so that it can tell this reload's READY=1 from an older one.
void notifyReloading()
{
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    sd_notifyf(0, "RELOADING=1\nMONOTONIC_USEC=%lld", static_cast<long long>(now.count()));
}

} // namespace

BridgeDaemon::BridgeDaemon(DaemonTimings timings, TrafficLog *log, QObject *parent)
    : QObject(parent)
    , m_timings(timings)
    , m_log(log)
{
}

BridgeDaemon::Served BridgeDaemon::build(const ProjectorSetup &setup)
{
    const ProjectorConfig &config = setup.projector;
    auto *projector = new BridgeProjector(config, m_timings.projector, this);
    connect(projector, &BridgeProjector::notice, this, &BridgeDaemon::notice);
    PjlinkServer *pjlink = nullptr;
    if (setup.pjlink.listen) {
        PjlinkLimits limits = m_timings.pjlink;
        limits.connections = { config.maxConnections, config.maxConnectionsPerAddress };
        const pjlink::Identity identity { config.name.toLatin1(), config.model.toLatin1(), config.info.toLatin1() };
        pjlink = new PjlinkServer(projector->model(), identity, setup.password, limits, projector);
        connect(pjlink, &PjlinkServer::notice, projector, &BridgeProjector::say);
    }
    if (TrafficLog *log = m_log) {
        line::ProjectorLine *line = projector->line();
        const QString port = line->address();
        connect(line, &line::ProjectorLine::sent, this, [log, port](const QByteArray &bytes) { log->sent(port, bytes); });
        connect(line, &line::ProjectorLine::received, this,
                [log, port](const QByteArray &bytes) { log->received(port, bytes); });
    }
    return { setup, projector, pjlink };
}

std::optional<QString> BridgeDaemon::listen(const Served &served)
{
    QString reason;
    const std::optional<ListenAddress> &address = served.setup.pjlink.listen;
    // PJLink first, then the raw port, which names itself in the reason.
    if (served.pjlink && !served.pjlink->listen(*address, &reason))
        reason = QStringLiteral("PJLink on %1: %2").arg(address->toString(), reason);
    else if (served.projector->listen(&reason))
        return std::nullopt;
    return QStringLiteral("[%1] %2").arg(served.setup.projector.id, reason);
}

void BridgeDaemon::close(const Served &served)
{
    if (served.pjlink)
        served.pjlink->close();
    served.projector->close();
}

std::vector<MqttProjector> BridgeDaemon::mqttProjectors() const
{
    std::vector<MqttProjector> published;
    for (const Served &served : m_served) {
        const ProjectorConfig &config = served.setup.projector;
        published.push_back({ { config.id, config.name, config.model }, served.projector->model() });
    }
    return published;
}

std::optional<QString> BridgeDaemon::start(const ServiceConfig &config)
{
    for (const ProjectorSetup &setup : config.projectors)
        m_served.push_back(build(setup));
    m_mqttConfig = config.mqtt;
    // Before the daemon says it is ready: a client that cannot be set up (a
    // CA file it cannot use) stops the start like a listener that cannot open.
    if (m_mqttConfig) {
        if (std::optional<QString> problem = startMqtt())
            return QStringLiteral("[mqtt] ") + *problem;
    }
    for (const Served &served : m_served) {
        if (std::optional<QString> problem = listen(served))
            return problem;
    }
    for (const Served &served : m_served)
        served.projector->start();
    sd_notify(0, "READY=1");
    return std::nullopt;
}

std::optional<QString> BridgeDaemon::startMqtt()
{
    m_mqtt = new MqttService(*m_mqttConfig, mqttProjectors(), this);
    connect(m_mqtt, &MqttService::notice, this, &BridgeDaemon::notice);
    MqttService *service = m_mqtt;
    connect(m_mqtt, &MqttService::stopped, this, [this, service] {
        service->deleteLater();
        if (m_mqtt == service)
            m_mqtt = nullptr;
        finishIfStopped();
    });
    std::optional<QString> problem = m_mqtt->start();
    if (problem) {
        delete m_mqtt;
        m_mqtt = nullptr;
        m_mqttConfig.reset(); // the next reload tries it again
    }
    return problem;
}

// The old client says "offline" and goes before a new one says "online":
// the other way round, the broker would keep the old client's last word.
void BridgeDaemon::retireMqtt()
{
    if (!m_mqtt)
        return;
    m_retiring = m_mqtt;
    m_mqtt = nullptr;
    MqttService *old = m_retiring;
    disconnect(old, &MqttService::stopped, this, nullptr);
    connect(old, &MqttService::stopped, this, [this, old] {
        old->deleteLater();
        m_retiring = nullptr;
        if (m_stopping) {
            finishIfStopped();
        } else if (m_mqttConfig && !m_mqtt) {
            if (std::optional<QString> problem = startMqtt())
                emit notice(QStringLiteral("[mqtt] %1; MQTT is off until the next reload").arg(*problem));
        }
    });
    old->stop();
}

void BridgeDaemon::reload(const ServiceConfig &config)
{
    if (m_stopping)
        return;
    notifyReloading();
    const std::vector<ProjectorSetup> running = [this] {
        std::vector<ProjectorSetup> setups;
        for (const Served &served : m_served)
            setups.push_back(served.setup);
        return setups;
    }();
    const std::vector<PlannedProjector> plan = planReload(running, config.projectors);
    const auto stepOf = [&plan](const QString &id) {
        return std::find_if(plan.begin(), plan.end(), [&id](const PlannedProjector &p) { return p.id == id; })->step;
    };
    // What goes is closed first: a listener may move to an address a gone
    // or changed projector held.
    std::vector<Served> kept;
    for (const Served &served : m_served) {
        const ReloadStep step = stepOf(served.setup.projector.id);
        if (step == ReloadStep::Keep) {
            kept.push_back(served);
            continue;
        }
        close(served);
        served.projector->deleteLater();
        if (step == ReloadStep::Close)
            emit notice(QStringLiteral("[%1] no longer configured: closed").arg(served.setup.projector.id));
    }
    int counts[4] = {};
    std::vector<Served> next;
    for (const ProjectorSetup &setup : config.projectors) {
        const QString &id = setup.projector.id;
        const ReloadStep step = stepOf(id);
        if (step == ReloadStep::Keep) {
            next.push_back(*std::find_if(kept.begin(), kept.end(), [&id](const Served &s) { return s.setup.projector.id == id; }));
            ++counts[int(step)];
            continue;
        }
        const Served served = build(setup);
        if (const std::optional<QString> problem = listen(served)) {
            // Left out, so that the next reload tries it again.
            emit notice(QStringLiteral("%1; not started").arg(*problem));
            close(served);
            served.projector->deleteLater();
            continue;
        }
        emit notice(QStringLiteral("[%1] %2").arg(id, step == ReloadStep::Start ? QStringLiteral("added")
                                                                                  : QStringLiteral("changed: restarted")));
        served.projector->start();
        next.push_back(served);
        ++counts[int(step)];
    }
    counts[int(ReloadStep::Close)] = int(std::count_if(plan.begin(), plan.end(), [](const PlannedProjector &p) {
        return p.step == ReloadStep::Close;
    }));
    m_served = std::move(next);

    if (config.mqtt != m_mqttConfig) {
        if (m_mqtt || m_retiring)
            emit notice(config.mqtt ? QStringLiteral("[mqtt] changed: the MQTT client restarts")
                                    : QStringLiteral("[mqtt] no longer configured: the MQTT client stops"));
        m_mqttConfig = config.mqtt;
        if (m_mqtt)
            retireMqtt();
        else if (m_mqttConfig && !m_retiring) {
            if (std::optional<QString> problem = startMqtt())
                emit notice(QStringLiteral("[mqtt] %1; MQTT is off until the next reload").arg(*problem));
        }
    } else if (m_mqtt) {
        m_mqtt->setProjectors(mqttProjectors());
    }
    emit notice(QStringLiteral("configuration reloaded: %1 projector(s) kept, %2 restarted, %3 closed, %4 added")
                    .arg(counts[int(ReloadStep::Keep)])
                    .arg(counts[int(ReloadStep::Restart)])
                    .arg(counts[int(ReloadStep::Close)])
                    .arg(counts[int(ReloadStep::Start)]));
    sd_notify(0, "READY=1");
}

void BridgeDaemon::refuseReload(const QString &reason)
{
    if (m_stopping)
        return;
    notifyReloading();
    emit notice(QStringLiteral("reload refused, the running configuration kept: %1").arg(reason));
    sd_notify(0, "READY=1");
}

void BridgeDaemon::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    sd_notify(0, "STOPPING=1");
    for (const Served &served : m_served)
        close(served);
    // The broker hears "offline" before the bridge goes; the client bounds
    // how long that may take.
    if (m_mqtt)
        m_mqtt->stop();
    finishIfStopped();
}

void BridgeDaemon::finishIfStopped()
{
    if (m_stopping && !m_mqtt && !m_retiring)
        emit stopped();
}

} // namespace koru::bridge
