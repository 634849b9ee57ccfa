#pragma once

#include "bridge/bridgeconfig.h"
#include "bridge/configfile.h"
#include "bridge/configkeys.h"
#include "bridge/mqtt/mqttconfig.h"
#include "bridge/pjlink/pjlinkconfig.h"

#include <QByteArray>
#include <QStringView>

#include <optional>
#include <vector>

namespace koru::bridge {

// One projector as the file or the command line gives it: the core's part
// and each room's.
struct ProjectorSetup
{
    ProjectorConfig projector;
    PjlinkConfig pjlink;
    QByteArray password; // PJLink's, read from pjlink.passwordFile; empty: none

    bool operator==(const ProjectorSetup &other) const
    {
        return projector == other.projector && pjlink == other.pjlink && password == other.password;
    }
    bool operator!=(const ProjectorSetup &other) const { return !(*this == other); }
};

// What the daemon runs: every projector and the broker, their password
// files read.
struct ServiceConfig
{
    std::vector<ProjectorSetup> projectors;
    std::optional<MqttConfig> mqtt;
};

struct ParsedConfig
{
    std::vector<ProjectorSetup> projectors;
    std::optional<MqttConfig> mqtt;       // the [mqtt] section, when there is one
    std::optional<ConfigProblem> problem; // the first one found
};

// A [projector ID] section's keys, the core's first and then each room's,
// bound to `setup`.
std::vector<BoundKey> projectorSectionKeys(ProjectorSetup &setup);

// The words of every key of each kind of section, for --help and the manual:
// [projector ID] first, then [mqtt].
struct SectionHelp
{
    QString header; // "projector ID", "mqtt"
    std::vector<KeyHelp> keys;
};
const std::vector<SectionHelp> &sectionHelp();

// A projector whose keys are all read: what it lacks (a port, a listener),
// as a problem naming the key.
std::optional<ConfigProblem> finishSetup(ProjectorSetup &setup);

// What the projectors share that must differ: ids and listen addresses.
std::optional<ConfigProblem> checkTogether(const std::vector<ProjectorSetup> &projectors);

// The whole file: one [projector ID] section per projector and at most one
// [mqtt]. Strict: the first problem, in the order of the file, stops it.
ParsedConfig parseConfig(QStringView text);

} // namespace koru::bridge
