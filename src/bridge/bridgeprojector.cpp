#include "bridge/bridgeprojector.h"

#include "line/projectorline.h"

namespace koru::bridge {

BridgeProjector::BridgeProjector(const ProjectorConfig &config, BridgeTimings timings, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_line(new line::ProjectorLine(config.port, config.lineSettings(), this))
    , m_keeper(new LineKeeper(m_line, timings.reopen, this))
    , m_model(new ProjectorModel(m_line, timings.polls, this))
{
    connect(m_keeper, &LineKeeper::notice, this, &BridgeProjector::say);
    if (config.raw) {
        timings.raw.connections = { config.maxConnections, config.maxConnectionsPerAddress };
        m_raw = new RawServer(m_line, timings.raw, this);
        connect(m_raw, &RawServer::notice, this, &BridgeProjector::say);
    }
}

BridgeProjector::~BridgeProjector() = default;

bool BridgeProjector::listen(QString *error)
{
    QString reason;
    if (m_raw && !m_raw->listen(*m_config.raw, &reason)) {
        *error = QStringLiteral("raw port on %1: %2").arg(m_config.raw->toString(), reason);
        return false;
    }
    return true;
}

void BridgeProjector::say(const QString &text)
{
    emit notice(QStringLiteral("[%1] %2").arg(m_config.id, text));
}

void BridgeProjector::start()
{
    m_keeper->start();
}

void BridgeProjector::close()
{
    if (m_raw)
        m_raw->close();
    m_keeper->stop();
    m_line->close();
}

} // namespace koru::bridge
