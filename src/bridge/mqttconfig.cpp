#include "bridge/mqttconfig.h"

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

std::optional<QString> setMqttKey(MqttConfig &config, QStringView key, QStringView value)
{
    if (key == u"host") {
        if (value.isEmpty() || value.contains(u' '))
            return QStringLiteral("\"%1\" is not a host").arg(value);
        config.host = value.toString();
    } else if (key == u"port") {
        const std::optional<quint16> port = portNumber(value);
        if (!port)
            return QStringLiteral("\"%1\" is not a port number (1-65535)").arg(value);
        config.port = *port;
    } else if (key == u"client-id") {
        if (!isClientId(value))
            return QStringLiteral("\"%1\" is not a client id (printable ASCII, no blank, '/', '+' or '#', "
                                  "at most %2 characters)")
                .arg(value)
                .arg(kMaxClientId);
        config.clientId = value.toString();
    } else if (key == u"username") {
        if (value.isEmpty())
            return QStringLiteral("empty user name");
        config.username = value.toString();
    } else if (key == u"password-file") {
        config.passwordFile = value.toString();
    } else if (key == u"ca-file") {
        config.caFile = value.toString();
    } else if (key == u"base-topic" || key == u"discovery-prefix") {
        if (!isTopicPrefix(value))
            return QStringLiteral("\"%1\" is not a topic prefix (levels without '+' or '#', no empty "
                                  "level, not starting with '$')")
                .arg(value);
        (key == u"base-topic" ? config.baseTopic : config.discoveryPrefix) = value.toString();
    } else if (key == u"keepalive") {
        bool ok = false;
        const std::chrono::seconds seconds { value.toInt(&ok) };
        if (!ok || seconds < kMinKeepalive || seconds > kMaxKeepalive)
            return QStringLiteral("\"%1\" is not a keepalive in seconds (%2-%3)")
                .arg(value)
                .arg(kMinKeepalive.count())
                .arg(kMaxKeepalive.count());
        config.keepalive = seconds;
    } else {
        return QStringLiteral("unknown key");
    }
    return std::nullopt;
}

} // namespace koru::bridge
