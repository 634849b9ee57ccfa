#include "bridge/bridgeconfig.h"

#include <QRegularExpression>

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

QString ProjectorConfig::lineSettings() const
{
    return QString::number(speed) + QLatin1String(",N,8,1");
}

const QStringList &configKeys()
{
    static const QStringList keys = {
        QStringLiteral("port"),   QStringLiteral("speed"),         QStringLiteral("name"),
        QStringLiteral("model"),  QStringLiteral("info"),          QStringLiteral("pjlink"),
        QStringLiteral("password-file"), QStringLiteral("raw"),    QStringLiteral("max-connections"),
        QStringLiteral("max-connections-per-address"),
    };
    return keys;
}

namespace {

// NAME answers up to 64 bytes, INF2 and INFO up to 32 (printable ASCII).
constexpr qsizetype kNameLength = 64;
constexpr qsizetype kInfoLength = 32;
constexpr int kMaxConnectionsLimit = 64;

std::optional<QString> checkText(QStringView value, qsizetype limit)
{
    if (value.size() > limit)
        return QStringLiteral("longer than %1 characters").arg(limit);
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return QStringLiteral("only printable ASCII characters");
    }
    return std::nullopt;
}

std::optional<QString> setAddress(std::optional<ListenAddress> &target, QStringView value)
{
    target = parseListenAddress(value);
    if (!target)
        return QStringLiteral("\"%1\" is not ADDRESS:PORT (an IP address, IPv6 in brackets)")
            .arg(value);
    return std::nullopt;
}

// Two listeners on one port collide when either takes every address.
bool overlaps(const ListenAddress &a, const ListenAddress &b)
{
    const auto anyAddress = [](const QHostAddress &host) {
        return host == QHostAddress(QHostAddress::AnyIPv4) || host == QHostAddress(QHostAddress::AnyIPv6);
    };
    return a.port == b.port && (a.host == b.host || anyAddress(a.host) || anyAddress(b.host));
}

} // namespace

std::optional<QString> applyConfigValue(ProjectorConfig &config, QStringView key, QStringView value)
{
    if (key == u"port") {
        if (value.isEmpty())
            return QStringLiteral("empty");
        config.port = value.toString();
    } else if (key == u"speed") {
        bool ok = false;
        const int speed = value.toInt(&ok);
        if (!ok || std::find(std::begin(kSpeeds), std::end(kSpeeds), speed) == std::end(kSpeeds))
            return QStringLiteral("\"%1\" is not 9600 or 19200").arg(value);
        config.speed = speed;
    } else if (key == u"name") {
        if (auto problem = checkText(value, kNameLength))
            return problem;
        config.name = value.toString();
    } else if (key == u"model" || key == u"info") {
        if (auto problem = checkText(value, kInfoLength))
            return problem;
        (key == u"model" ? config.model : config.info) = value.toString();
    } else if (key == u"pjlink") {
        return setAddress(config.pjlink, value);
    } else if (key == u"raw") {
        return setAddress(config.raw, value);
    } else if (key == u"password-file") {
        if (value.isEmpty())
            return QStringLiteral("empty");
        config.passwordFile = value.toString();
    } else if (key == u"max-connections" || key == u"max-connections-per-address") {
        bool ok = false;
        const int count = value.toInt(&ok);
        if (!ok || count < 1 || count > kMaxConnectionsLimit)
            return QStringLiteral("\"%1\" is not a number from 1 to %2").arg(value).arg(kMaxConnectionsLimit);
        (key == u"max-connections" ? config.maxConnections : config.maxConnectionsPerAddress) = count;
    } else {
        return QStringLiteral("unknown key; known: %1").arg(configKeys().join(QLatin1String(", ")));
    }
    return std::nullopt;
}

std::optional<ConfigProblem> checkProjector(const ProjectorConfig &config)
{
    if (config.port.isEmpty())
        return ConfigProblem { 0, config.id, QStringLiteral("port"), QStringLiteral("missing") };
    if (!config.pjlink && !config.raw)
        return ConfigProblem { 0, config.id, QStringLiteral("pjlink"),
                               QStringLiteral("neither a PJLink nor a raw listener is given") };
    if (!config.passwordFile.isEmpty() && !config.pjlink)
        return ConfigProblem { 0, config.id, QStringLiteral("password-file"),
                               QStringLiteral("given without a PJLink listener") };
    return std::nullopt;
}

std::optional<ConfigProblem> checkTogether(const std::vector<ProjectorConfig> &projectors)
{
    struct Taken
    {
        ListenAddress address;
        QString id;
    };
    std::vector<Taken> taken;
    QStringList ids;
    for (const ProjectorConfig &config : projectors) {
        if (ids.contains(config.id))
            return ConfigProblem { 0, config.id, {}, QStringLiteral("a second projector with this id") };
        ids.append(config.id);
        const std::pair<const char *, const std::optional<ListenAddress> *> listeners[] = {
            { "pjlink", &config.pjlink }, { "raw", &config.raw } };
        for (const auto &[key, address] : listeners) {
            if (!*address)
                continue;
            // A structured binding cannot be captured before C++20: the lambda gets a copy.
            const ListenAddress wanted = **address;
            const auto same = std::find_if(taken.begin(), taken.end(),
                                           [&wanted](const Taken &t) { return overlaps(t.address, wanted); });
            if (same != taken.end())
                return ConfigProblem { 0, config.id, QLatin1String(key),
                                       QStringLiteral("%1 is also used by projector %2")
                                           .arg((*address)->toString(), same->id) };
            taken.push_back({ wanted, config.id });
        }
    }
    return std::nullopt;
}

ParsedConfig parseConfig(QStringView text)
{
    static const QRegularExpression sectionPattern(QStringLiteral(R"(^\[projector ([A-Za-z0-9._-]+)\]$)"));
    ParsedConfig parsed;
    ProjectorConfig *current = nullptr;
    bool inMqtt = false; // in the [mqtt] section rather than a projector's
    QStringList keysSeen;
    const auto finish = [&]() -> std::optional<ConfigProblem> {
        if (!current)
            return std::nullopt;
        if (current->name.isEmpty())
            current->name = current->id;
        return checkProjector(*current);
    };
    int lineNumber = 0;
    for (QStringView line : text.split(u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QString section = inMqtt ? QStringLiteral("mqtt") : current ? current->id : QString();
        if (line == u"[mqtt]") {
            if (parsed.mqtt) {
                parsed.problem = ConfigProblem { lineNumber, section, {}, QStringLiteral("a second [mqtt] section") };
                return parsed;
            }
            if ((parsed.problem = finish()))
                return parsed;
            current = nullptr;
            inMqtt = true;
            parsed.mqtt.emplace();
            keysSeen.clear();
            continue;
        }
        if (line.startsWith(u'[')) {
            const auto match = sectionPattern.match(line.toString()); // not the view overload, deprecated from Qt 6.8
            if (!match.hasMatch()) {
                parsed.problem = ConfigProblem { lineNumber, section, {},
                    QStringLiteral("\"%1\" is not a section \"[projector ID]\" (ID of letters, digits, '.', '_', '-')")
                        .arg(line) };
                return parsed;
            }
            if ((parsed.problem = finish()))
                return parsed;
            inMqtt = false;
            parsed.projectors.emplace_back();
            current = &parsed.projectors.back();
            current->id = match.captured(1);
            keysSeen.clear();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            parsed.problem = ConfigProblem { lineNumber, section, {}, QStringLiteral("not \"key = value\"") };
            return parsed;
        }
        const QString key = line.left(equals).trimmed().toString();
        const QStringView value = line.mid(equals + 1).trimmed();
        if (!current && !inMqtt) {
            parsed.problem = ConfigProblem { lineNumber, {}, key, QStringLiteral("before any [projector ID] section") };
            return parsed;
        }
        if (keysSeen.contains(key)) {
            parsed.problem = ConfigProblem { lineNumber, section, key, QStringLiteral("given twice") };
            return parsed;
        }
        keysSeen.append(key);
        if (inMqtt) {
            if (auto reason = setMqttKey(*parsed.mqtt, key, value)) {
                parsed.problem = ConfigProblem { lineNumber, section, key, *reason };
                return parsed;
            }
            continue;
        }
        if (auto reason = applyConfigValue(*current, key, value)) {
            parsed.problem = ConfigProblem { lineNumber, section, key, *reason };
            return parsed;
        }
    }
    if ((parsed.problem = finish()))
        return parsed;
    if (parsed.mqtt && parsed.mqtt->host.isEmpty()) {
        parsed.problem = ConfigProblem { 0, QStringLiteral("mqtt"), QStringLiteral("host"), QStringLiteral("missing: the broker's address") };
        return parsed;
    }
    if (parsed.projectors.empty()) {
        parsed.problem = ConfigProblem { 0, {}, {}, QStringLiteral("no [projector ID] section") };
        return parsed;
    }
    parsed.problem = checkTogether(parsed.projectors);
    return parsed;
}

} // namespace koru::bridge
