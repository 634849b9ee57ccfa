#pragma once

#include "bridge/configfile.h"
#include "bridge/configkeys.h"

#include <QHostAddress>
#include <QString>

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
    bool operator!=(const ListenAddress &other) const { return !(*this == other); }
};

// "0.0.0.0:4352", "127.0.0.1:4001", "[::1]:4352"; no value for anything else.
std::optional<ListenAddress> parseListenAddress(QStringView text);
// A key's value as a listen address; the reason when it is none.
std::optional<QString> setListenAddress(std::optional<ListenAddress> &target, QStringView value);

// Two listeners on one port collide when either takes every address.
bool listenersCollide(const ListenAddress &a, const ListenAddress &b);

// The speeds the projector works at.
inline constexpr int kSpeeds[] = { 9600, 19200 };
inline constexpr int kDefaultSpeed = 19200;
inline constexpr int kDefaultMaxConnections = 8;
inline constexpr int kDefaultMaxConnectionsPerAddress = 4;
inline constexpr char kDefaultId[] = "projector";
inline constexpr char kProjectorSection[] = "projector";

// One projector as the configuration gives it: its line, what it calls
// itself on the network (PJLink and MQTT both show these) and its raw port.
struct ProjectorConfig
{
    QString id;
    QString port;  // device path, tcp:// or rfc2217:// address
    int speed = kDefaultSpeed;
    QString name;  // the id when not given
    QString model;
    QString info;
    std::optional<ListenAddress> raw;
    int maxConnections = kDefaultMaxConnections; // on each of its listeners
    int maxConnectionsPerAddress = kDefaultMaxConnectionsPerAddress; // of those, from one address

    // The line settings string for this speed.
    QString lineSettings() const;

    // Every field: a reload restarts a projector whose configuration differs in any.
    bool operator==(const ProjectorConfig &other) const
    {
        return id == other.id && port == other.port && speed == other.speed && name == other.name
            && model == other.model && info == other.info && raw == other.raw
            && maxConnections == other.maxConnections && maxConnectionsPerAddress == other.maxConnectionsPerAddress;
    }
    bool operator!=(const ProjectorConfig &other) const { return !(*this == other); }
};

// The keys of a [projector ID] section that the core reads, in the order
// the manual documents them.
const std::vector<ConfigKey<ProjectorConfig>> &projectorKeys();

// A projector whose section has been read: the name defaults to the id;
// the problem when it lacks its port.
std::optional<ConfigProblem> finishProjector(ProjectorConfig &config);

} // namespace koru::bridge
