#pragma once

#include "bridge/bridgeconfig.h"
#include "bridge/linekeeper.h"
#include "bridge/pjlinkserver.h"
#include "bridge/projectormodel.h"
#include "bridge/rawserver.h"

#include <QObject>

namespace koru::line {
class ProjectorLine;
}

namespace koru::bridge {

// Every interval and bound of the bridge, so that tests can shorten them.
struct BridgeTimings
{
    PollIntervals polls;
    PjlinkLimits pjlink;
    RawLimits raw;
    ReopenTimes reopen;
};

// One configured projector: its line kept open, the model of it, and its
// listeners.
class BridgeProjector : public QObject
{
    Q_OBJECT

public:
    BridgeProjector(const ProjectorConfig &config, const QByteArray &password, BridgeTimings timings,
                    QObject *parent = nullptr);
    ~BridgeProjector() override;

    const ProjectorConfig &config() const { return m_config; }
    line::ProjectorLine *line() const { return m_line; }
    ProjectorModel *model() const { return m_model; }
    PjlinkServer *pjlinkServer() const { return m_pjlink; }
    RawServer *rawServer() const { return m_raw; }

    // Opens the listeners; on failure the reason, naming the listener.
    bool listen(QString *error);
    // Starts keeping the line open.
    void start();
    // Closes the listeners and the line.
    void close();

signals:
    // A line for the log, the projector's id in front.
    void notice(const QString &text);

private:
    ProjectorConfig m_config;
    line::ProjectorLine *m_line;
    LineKeeper *m_keeper;
    ProjectorModel *m_model;
    PjlinkServer *m_pjlink = nullptr;
    RawServer *m_raw = nullptr;
};

} // namespace koru::bridge
