#include "bridge/bridgeconfig.h"

#include <algorithm>

namespace koru::bridge {

QString ListenAddress::toString() const
{
    const QString hostText = host.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
        : host.toString();
    return hostText + QLatin1Char(':') + QString::number(port);
}

std::optional<ListenAddress> parseListenAddress(QStringView text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    QStringView hostText = text.left(colon);
    const QStringView portText = text.mid(colon + 1);
    const bool bracketed = hostText.startsWith(u'[') && hostText.endsWith(u']');
    if (bracketed)
        hostText = hostText.mid(1, hostText.size() - 2);
    QHostAddress host;
    if (!host.setAddress(hostText.toString()))
        return std::nullopt;
    // An IPv6 address needs its brackets, or its last group reads as the port.
    if ((host.protocol() == QAbstractSocket::IPv6Protocol) != bracketed)
        return std::nullopt;
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || portText.startsWith(u'+'))
        return std::nullopt;
    return ListenAddress { host, quint16(port) };
}

std::optional<QString> setListenAddress(std::optional<ListenAddress> &target, QStringView value)
{
    target = parseListenAddress(value);
    if (!target)
        return QStringLiteral("\"%1\" is not ADDRESS:PORT (an IP address, IPv6 in brackets)").arg(value);
    return std::nullopt;
}

bool listenersCollide(const ListenAddress &a, const ListenAddress &b)
{
    const auto anyAddress = [](const QHostAddress &host) {
        return host == QHostAddress(QHostAddress::AnyIPv4) || host == QHostAddress(QHostAddress::AnyIPv6);
    };
    return a.port == b.port && (a.host == b.host || anyAddress(a.host) || anyAddress(b.host));
}

QString ProjectorConfig::lineSettings() const
{
    return QString::number(speed) + QLatin1String(",N,8,1");
}

namespace {

// PJLink answers NAME with up to 64 bytes, INF2 and INFO with up to 32
// (printable ASCII); every other room takes what PJLink takes.
constexpr qsizetype kNameLength = 64;
constexpr qsizetype kInfoLength = 32;
constexpr int kMaxConnectionsLimit = 64;

std::optional<QString> setText(QString &target, QStringView value, qsizetype limit)
{
    if (value.size() > limit)
        return QStringLiteral("longer than %1 characters").arg(limit);
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return QStringLiteral("only printable ASCII characters");
    }
    target = value.toString();
    return std::nullopt;
}

std::optional<QString> setConnectionCount(int &target, QStringView value)
{
    bool ok = false;
    const int count = value.toInt(&ok);
    if (!ok || count < 1 || count > kMaxConnectionsLimit)
        return QStringLiteral("\"%1\" is not a number from 1 to %2").arg(value).arg(kMaxConnectionsLimit);
    target = count;
    return std::nullopt;
}

} // namespace

const std::vector<ConfigKey<ProjectorConfig>> &projectorKeys()
{
    using Key = ConfigKey<ProjectorConfig>;
    static const std::vector<Key> keys = {
        { "port", "path|url",
          "The projector's line: a device path (best its stable name under /dev/serial/by-id), "
          "tcp://HOST:PORT or rfc2217://HOST:PORT. Required.",
          [](ProjectorConfig &c, QStringView v) { return setNonEmpty(c.port, v); } },
        { "speed", "baud", "The line speed, 9600 or 19200 (default).",
          [](ProjectorConfig &c, QStringView v) -> std::optional<QString> {
              bool ok = false;
              const int speed = v.toInt(&ok);
              if (!ok || std::find(std::begin(kSpeeds), std::end(kSpeeds), speed) == std::end(kSpeeds))
                  return QStringLiteral("\"%1\" is not 9600 or 19200").arg(v);
              c.speed = speed;
              return std::nullopt;
          } },
        { "name", "text",
          "The name PJLink controllers and Home Assistant show: printable ASCII, 64 characters at most "
          "(default: the id).",
          [](ProjectorConfig &c, QStringView v) { return setText(c.name, v, kNameLength); } },
        { "model", "text", "The model PJLink (INF2) and Home Assistant report: printable ASCII, 32 characters at most.",
          [](ProjectorConfig &c, QStringView v) { return setText(c.model, v, kInfoLength); } },
        { "info", "text", "The other information PJLink (INFO) reports: printable ASCII, 32 characters at most.",
          [](ProjectorConfig &c, QStringView v) { return setText(c.info, v, kInfoLength); } },
        { "raw", "address:port",
          "Where the raw shared port listens, ADDRESS:PORT; koru-panel and koru-ctl reach the projector "
          "there as tcp://HOST:PORT.",
          [](ProjectorConfig &c, QStringView v) { return setListenAddress(c.raw, v); } },
        { "max-connections", "count", "Connections each listener takes at once, 1 to 64 (default 8).",
          [](ProjectorConfig &c, QStringView v) { return setConnectionCount(c.maxConnections, v); } },
        { "max-connections-per-address", "count",
          "Of those, connections one address may have at once, 1 to 64 (default 4). Raise it when several "
          "controllers reach the bridge through one address.",
          [](ProjectorConfig &c, QStringView v) { return setConnectionCount(c.maxConnectionsPerAddress, v); } },
    };
    return keys;
}

std::optional<ConfigProblem> finishProjector(ProjectorConfig &config)
{
    if (config.name.isEmpty())
        config.name = config.id;
    if (config.port.isEmpty())
        return ConfigProblem { 0, QStringLiteral("%1 %2").arg(QLatin1String(kProjectorSection), config.id),
                               QStringLiteral("port"), QStringLiteral("missing") };
    return std::nullopt;
}

} // namespace koru::bridge
