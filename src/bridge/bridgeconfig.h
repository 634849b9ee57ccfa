#pragma once

#include "bridge/mqttconfig.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace koru::bridge {

// Where a listener listens: an IP address (no names: nothing is looked up
// at start) and a port.
struct ListenAddress
{
    QHostAddress host;
    quint16 port = 0;

    QString toString() const;
    bool operator==(const ListenAddress &other) const
    {
        return host == other.host && port == other.port;
    }
};

// "0.0.0.0:4352", "127.0.0.1:4001", "[::1]:4352"; no value for anything else.
std::optional<ListenAddress> parseListenAddress(QStringView text);

// The speeds the projector works at.
inline constexpr int kSpeeds[] = { 9600, 19200 };
inline constexpr int kDefaultSpeed = 19200;
inline constexpr int kDefaultMaxConnections = 8;
inline constexpr int kDefaultMaxConnectionsPerAddress = 4;
inline constexpr char kDefaultId[] = "projector";

// One projector as the configuration gives it.
struct ProjectorConfig
{
    QString id;
    QString port;  // device path, tcp:// or rfc2217:// address
    int speed = kDefaultSpeed;
    QString name;  // PJLink NAME; the id when not given
    QString model; // PJLink INF2
    QString info;  // PJLink INFO
    std::optional<ListenAddress> pjlink;
    QString passwordFile; // empty: PJLink without authentication
    std::optional<ListenAddress> raw;
    int maxConnections = kDefaultMaxConnections; // PJLink, and raw, each
    int maxConnectionsPerAddress = kDefaultMaxConnectionsPerAddress; // of those, from one address

    // The line settings string for this speed.
    QString lineSettings() const;
};

// What is wrong, and where: the program words it. `line` is 0 when the
// problem is not on one line (a missing key, a duplicate across sections).
struct ConfigProblem
{
    int line = 0;
    QString section; // the projector's id; empty outside any section
    QString key;     // empty when the problem is not with one key
    QString message;
};

struct ParsedConfig
{
    std::vector<ProjectorConfig> projectors;
    std::optional<MqttConfig> mqtt; // the [mqtt] section, when there is one
    std::optional<ConfigProblem> problem; // the first one found
};

// The keys a projector section takes, in the order the file documents them.
const QStringList &configKeys();

// Sets one key of `config` from its text; the reason when the value is refused
// or the key is unknown.
std::optional<QString> applyConfigValue(ProjectorConfig &config, QStringView key, QStringView value);

// What a complete projector lacks (a port, a listener), as a problem naming
// the key; none when it can start.
std::optional<ConfigProblem> checkProjector(const ProjectorConfig &config);

// What the projectors share that must differ: ids and listen addresses.
std::optional<ConfigProblem> checkTogether(const std::vector<ProjectorConfig> &projectors);

// The whole file: `#` comments, one `[projector ID]` section per projector,
// `key = value` lines. Strict: the first problem stops the parse.
ParsedConfig parseConfig(QStringView text);

} // namespace koru::bridge
