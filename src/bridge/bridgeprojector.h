#pragma once

#include "bridge/bridgeconfig.h"
#include "bridge/linekeeper.h"
#include "bridge/projectormodel.h"
#include "bridge/rawserver.h"

#include <QObject>

namespace koru::line {
class ProjectorLine;
}

namespace koru::bridge {

// Every interval and bound of a projector's core, so that tests can shorten
// them.
struct BridgeTimings
{
    PollIntervals polls;
    RawLimits raw;
    ReopenTimes reopen;
};

// One configured projector: its line kept open, the model of it, and its raw
// port. The rooms (PJLink, MQTT) are built on its model by whoever puts the
// daemon together.
class BridgeProjector : public QObject
{
    Q_OBJECT

public:
    BridgeProjector(const ProjectorConfig &config, BridgeTimings timings, QObject *parent = nullptr);
    ~BridgeProjector() override;

    const ProjectorConfig &config() const { return m_config; }
    line::ProjectorLine *line() const { return m_line; }
    ProjectorModel *model() const { return m_model; }
    RawServer *rawServer() const { return m_raw; }

    // Opens the raw port, if it has one; on failure the reason, naming it.
    bool listen(QString *error);
    // Starts keeping the line open.
    void start();
    // Closes the raw port and the line.
    void close();

    // Says `text` as this projector's notice: its rooms' notices go here too.
    void say(const QString &text);

signals:
    // A line for the log, the projector's id in front.
    void notice(const QString &text);

private:
    ProjectorConfig m_config;
    line::ProjectorLine *m_line;
    LineKeeper *m_keeper;
    ProjectorModel *m_model;
    RawServer *m_raw = nullptr;
};

} // namespace koru::bridge
