#pragma once

#include "bridge/configfile.h"
#include "bridge/configkeys.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>
#include <vector>

namespace koru::bridge {

// Where the bridge publishes its projectors and how it logs in there.
struct MqttConfig
{
    QString host; // a numeric address never blocks; a name is resolved at each connection attempt
    quint16 port = 1883;
    QString clientId;        // empty: defaultClientId()
    QString username;        // empty: anonymous
    QString passwordFile;    // the password on its first line
    QByteArray password;     // read from passwordFile before the client starts
    QString caFile;          // set: TLS, the broker's certificate checked against this CA
    QString baseTopic = QStringLiteral("koru");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    std::chrono::seconds keepalive { 60 };
    // A broker that takes the connection but has not accepted the login
    // within this is given up on for this attempt, like one that refuses.
    std::chrono::milliseconds connectWait { std::chrono::seconds(10) };

    bool enabled() const { return !host.isEmpty(); }

    // Every field, the password read included: a reload restarts the client
    // when any differs.
    bool operator==(const MqttConfig &other) const
    {
        return host == other.host && port == other.port && clientId == other.clientId && username == other.username
            && passwordFile == other.passwordFile && password == other.password && caFile == other.caFile
            && baseTopic == other.baseTopic && discoveryPrefix == other.discoveryPrefix
            && keepalive == other.keepalive;
    }
    bool operator!=(const MqttConfig &other) const { return !(*this == other); }
};

// "koru-bridge-<hostname>": one client per host, stable across restarts so
// that the broker's last will and the retained topics stay this bridge's.
QString defaultClientId();

inline constexpr char kMqttSection[] = "mqtt";
// Longer than any broker password a person types; MQTT itself allows 64 KiB.
inline constexpr qsizetype kMaxMqttPassword = 256;

// The keys of the [mqtt] section, in the order the manual documents them.
const std::vector<ConfigKey<MqttConfig>> &mqttKeys();

// What a complete [mqtt] section lacks (the broker's address; a user name
// for a password), placed in `section`.
std::optional<ConfigProblem> checkMqtt(const MqttConfig &config, const QString &section);

// "HOST:PORT" or "[V6]:PORT" into host and port; the error as words.
std::optional<QString> setMqttAddress(MqttConfig &config, QStringView text);

// A topic prefix: levels without wildcards, no empty level, not starting
// with '$' (the broker's own).
bool isTopicPrefix(QStringView text);

} // namespace koru::bridge
