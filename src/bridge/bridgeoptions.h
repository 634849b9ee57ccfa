#pragma once

#include "bridge/bridgeconfig.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace koru::bridge {

inline constexpr char kDefaultConfigPath[] = "/etc/koru/bridge.conf";

// Exit statuses.
namespace exitcode {
inline constexpr int Stopped = 0;      // asked to stop, or --check found nothing wrong
inline constexpr int StartFailed = 1;  // a listener could not be opened
inline constexpr int Usage = 2;        // the command line or the configuration is wrong
} // namespace exitcode

struct BridgeOptions
{
    QString configPath = QLatin1String(kDefaultConfigPath);
    bool check = false;
    // --port given: this one projector, and no configuration file.
    std::optional<ProjectorConfig> single;
    QString logPath; // empty: no transcript of the lines
    // --mqtt: the broker's host and port, over the file's [mqtt] ones.
    std::optional<MqttConfig> mqtt;
};

struct BridgeCommandLine
{
    BridgeOptions options;
    std::optional<int> exitCode; // set when the program stops right away
    QString output;              // for standard output (help, version)
    QString error;               // for standard error
};

// Parses the arguments (the first one is the program's name). A projector
// given on the command line takes the configuration file's keys as options
// (--port, --speed, --pjlink ...) and --id.
BridgeCommandLine parseBridgeCommandLine(const QStringList &arguments);

// The words for a problem of the file at `path`.
QString describeProblem(const QString &path, const ConfigProblem &problem);

} // namespace koru::bridge
