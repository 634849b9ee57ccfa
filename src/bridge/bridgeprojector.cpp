#include "bridge/bridgeprojector.h"

#include "line/projectorline.h"

namespace koru::bridge {

BridgeProjector::BridgeProjector(const ProjectorConfig &config, const QByteArray &password,
                                 BridgeTimings timings, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_line(new line::ProjectorLine(config.port, config.lineSettings(), this))
    , m_keeper(new LineKeeper(m_line, timings.reopen, this))
    , m_model(new ProjectorModel(m_line, timings.polls, this))
{
    const auto say = [this](const QString &text) { emit notice(QStringLiteral("[%1] %2").arg(m_config.id, text)); };
    connect(m_keeper, &LineKeeper::notice, this, say);
    if (config.pjlink) {
        timings.pjlink.connections = { config.maxConnections, config.maxConnectionsPerAddress };
        const pjlink::Identity identity { config.name.toLatin1(), config.model.toLatin1(), config.info.toLatin1() };
        m_pjlink = new PjlinkServer(m_model, identity, password, timings.pjlink, this);
        connect(m_pjlink, &PjlinkServer::notice, this, say);
    }
    if (config.raw) {
        timings.raw.connections = { config.maxConnections, config.maxConnectionsPerAddress };
        m_raw = new RawServer(m_line, timings.raw, this);
        connect(m_raw, &RawServer::notice, this, say);
    }
}

BridgeProjector::~BridgeProjector() = default;

bool BridgeProjector::listen(QString *error)
{
    QString reason;
    if (m_pjlink && !m_pjlink->listen(*m_config.pjlink, &reason)) {
        *error = QStringLiteral("PJLink on %1: %2").arg(m_config.pjlink->toString(), reason);
        return false;
    }
    if (m_raw && !m_raw->listen(*m_config.raw, &reason)) {
        *error = QStringLiteral("raw port on %1: %2").arg(m_config.raw->toString(), reason);
        return false;
    }
    return true;
}

void BridgeProjector::start()
{
    m_keeper->start();
}

void BridgeProjector::close()
{
    if (m_pjlink)
        m_pjlink->close();
    if (m_raw)
        m_raw->close();
    m_keeper->stop();
    m_line->close();
}

} // namespace koru::bridge
