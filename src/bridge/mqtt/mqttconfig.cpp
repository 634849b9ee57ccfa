#include "bridge/mqtt/mqttconfig.h"

#include <QList>
#include <QSysInfo>

namespace koru::bridge {

namespace {

// The broker's protocol allows up to 18 hours; a day's worth of silence
// would hide a dead broker for too long to be of use.
constexpr std::chrono::seconds kMinKeepalive { 5 };
constexpr std::chrono::seconds kMaxKeepalive { 3600 };
// The id names a topic level of the bridge's availability too; MQTT 3.1.1
// brokers such as mosquitto take ids far longer than this.
constexpr int kMaxClientId = 128;

std::optional<quint16> portNumber(QStringView text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

bool isClientId(QStringView text)
{
    if (text.isEmpty() || text.size() > kMaxClientId)
        return false;
    for (QChar c : text) {
        // It names a topic level of the bridge's availability.
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || c == u'/' || c == u'+' || c == u'#')
            return false;
    }
    return true;
}


std::optional<QString> setTopicPrefix(QString &target, QStringView value)
{
    if (!isTopicPrefix(value))
        return QStringLiteral("\"%1\" is not a topic prefix (levels without '+' or '#', no empty "
                              "level, not starting with '$')")
            .arg(value);
    target = value.toString();
    return std::nullopt;
}

} // namespace

QString defaultClientId()
{
    return QStringLiteral("koru-bridge-") + QSysInfo::machineHostName();
}

bool isTopicPrefix(QStringView text)
{
    if (text.isEmpty() || text.startsWith(u'$'))
        return false;
    for (QStringView level : text.split(u'/')) {
        if (level.isEmpty() || level.contains(u'+') || level.contains(u'#'))
            return false;
    }
    return true;
}

std::optional<QString> setMqttAddress(MqttConfig &config, QStringView text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return QStringLiteral("\"%1\" is not HOST:PORT").arg(text);
    QStringView host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return QStringLiteral("\"%1\": an IPv6 address goes in brackets, [::1]:1883").arg(text);
    const std::optional<quint16> port = portNumber(text.mid(colon + 1));
    if (host.isEmpty() || !port)
        return QStringLiteral("\"%1\" is not HOST:PORT").arg(text);
    config.host = host.toString();
    config.port = *port;
    return std::nullopt;
}

const std::vector<ConfigKey<MqttConfig>> &mqttKeys()
{
    using Key = ConfigKey<MqttConfig>;
    using Reason = std::optional<QString>;
    static const std::vector<Key> keys = {
        { "host", "host",
          "The broker: a name or an IP address (a numeric address keeps the bridge from waiting for a name "
          "lookup). Required.",
          [](MqttConfig &c, QStringView v) -> Reason {
              if (v.isEmpty() || v.contains(u' '))
                  return QStringLiteral("\"%1\" is not a host").arg(v);
              c.host = v.toString();
              return std::nullopt;
          } },
        { "port", "port", "The broker's port (default 1883).",
          [](MqttConfig &c, QStringView v) -> Reason {
              const std::optional<quint16> port = portNumber(v);
              if (!port)
                  return QStringLiteral("\"%1\" is not a port number (1-65535)").arg(v);
              c.port = *port;
              return std::nullopt;
          } },
        { "client-id", "id", "The bridge's client id at the broker (default koru-bridge-HOSTNAME).",
          [](MqttConfig &c, QStringView v) -> Reason {
              if (!isClientId(v))
                  return QStringLiteral("\"%1\" is not a client id (printable ASCII, no blank, '/', '+' or '#', "
                                        "at most %2 characters)")
                      .arg(v)
                      .arg(kMaxClientId);
              c.clientId = v.toString();
              return std::nullopt;
          } },
        { "username", "name", "The user name at the broker (default: none, anonymous).",
          [](MqttConfig &c, QStringView v) -> Reason {
              if (v.isEmpty())
                  return QStringLiteral("empty user name");
              c.username = v.toString();
              return std::nullopt;
          } },
        { "password-file", "file",
          "The file holding the broker password on its first line, as for PJLink; needs a username.",
          [](MqttConfig &c, QStringView v) -> Reason {
              c.passwordFile = v.toString();
              return std::nullopt;
          } },
        { "ca-file", "file", "Speak TLS, checking the broker's certificate against this CA certificate.",
          [](MqttConfig &c, QStringView v) -> Reason {
              c.caFile = v.toString();
              return std::nullopt;
          } },
        { "base-topic", "topic", "The topic the projectors are published under (default koru).",
          [](MqttConfig &c, QStringView v) { return setTopicPrefix(c.baseTopic, v); } },
        { "discovery-prefix", "topic", "Home Assistant's discovery prefix (default homeassistant).",
          [](MqttConfig &c, QStringView v) { return setTopicPrefix(c.discoveryPrefix, v); } },
        { "keepalive", "seconds", "Seconds between keepalives, 5 to 3600 (default 60).",
          [](MqttConfig &c, QStringView v) -> Reason {
              bool ok = false;
              const std::chrono::seconds seconds { v.toInt(&ok) };
              if (!ok || seconds < kMinKeepalive || seconds > kMaxKeepalive)
                  return QStringLiteral("\"%1\" is not a keepalive in seconds (%2-%3)")
                      .arg(v)
                      .arg(kMinKeepalive.count())
                      .arg(kMaxKeepalive.count());
              c.keepalive = seconds;
              return std::nullopt;
          } },
    };
    return keys;
}

std::optional<ConfigProblem> checkMqtt(const MqttConfig &config, const QString &section)
{
    if (config.host.isEmpty())
        return ConfigProblem { 0, section, QStringLiteral("host"), QStringLiteral("missing: the broker's address") };
    if (!config.passwordFile.isEmpty() && config.username.isEmpty())
        return ConfigProblem { 0, section, QStringLiteral("password-file"), QStringLiteral("a password file needs a user name") };
    return std::nullopt;
}

} // namespace koru::bridge
