#pragma once

#include "bridge/mqtt/mqttconfig.h"
#include "bridge/service/bridgesetup.h"
#include "program/commandline.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace koru::bridge {

inline constexpr char kDefaultConfigPath[] = "/etc/koru/bridge.conf";

struct BridgeOptions
{
    QString configPath = QLatin1String(kDefaultConfigPath);
    bool check = false;
    // --port given: this one projector, and no configuration file.
    std::optional<ProjectorSetup> single;
    QString logPath; // empty: no transcript of the lines
    // --mqtt: the broker's host and port, over the file's [mqtt] ones.
    std::optional<MqttConfig> mqtt;
};

// exitCode, output and error: help, version, or a usage error (status 2,
// as for a wrong configuration).
struct BridgeCommandLine : program::Ending
{
    BridgeOptions options;
};

// Parses the arguments (the first one is the program's name). A projector
// given on the command line takes the configuration file's keys as options
// (--port, --speed, --pjlink ...) and --id.
BridgeCommandLine parseBridgeCommandLine(const QStringList &arguments);

} // namespace koru::bridge
