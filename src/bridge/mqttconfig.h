#pragma once

#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

namespace koru::bridge {

// Where the bridge publishes its projectors and how it logs in there.
struct MqttConfig
{
    QString host; // a numeric address never blocks; a name is resolved at each connection attempt
    quint16 port = 1883;
    QString clientId;        // empty: defaultClientId()
    QString username;        // empty: anonymous
    QString passwordFile;    // the password on its first line
    QString caFile;          // set: TLS, the broker's certificate checked against this CA
    QString baseTopic = QStringLiteral("koru");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    std::chrono::seconds keepalive { 60 };

    bool enabled() const { return !host.isEmpty(); }
};

// "koru-bridge-<hostname>": one client per host, stable across restarts so
// that the broker's last will and the retained topics stay this bridge's.
QString defaultClientId();

// Sets one key of the [mqtt] section ("host", "port", "client-id",
// "username", "password-file", "ca-file", "base-topic", "discovery-prefix",
// "keepalive"). The error, for the caller to place in its file and section:
// "unknown key" or why the value is wrong.
std::optional<QString> setMqttKey(MqttConfig &config, QStringView key, QStringView value);

// "HOST:PORT" or "[V6]:PORT" into host and port; the error as words.
std::optional<QString> setMqttAddress(MqttConfig &config, QStringView text);

// A topic prefix: levels without wildcards, no empty level, not starting
// with '$' (the broker's own).
bool isTopicPrefix(QStringView text);

} // namespace koru::bridge
