#include "bridge/service/bridgesetup.h"

#include <QStringList>

#include <algorithm>

namespace koru::bridge {

namespace {

QString projectorSection(const QString &id)
{
    return QLatin1String(kProjectorSection) + QLatin1Char(' ') + id;
}

} // namespace

std::vector<BoundKey> projectorSectionKeys(ProjectorSetup &setup)
{
    std::vector<BoundKey> keys;
    appendBound(keys, projectorKeys(), setup.projector);
    appendBound(keys, pjlinkKeys(), setup.pjlink);
    return keys;
}

const std::vector<SectionHelp> &sectionHelp()
{
    static const std::vector<SectionHelp> sections = [] {
        SectionHelp projector { QLatin1String(kProjectorSection) + QStringLiteral(" ID"), {} };
        appendHelp(projector.keys, projectorKeys());
        appendHelp(projector.keys, pjlinkKeys());
        SectionHelp mqtt { QLatin1String(kMqttSection), {} };
        appendHelp(mqtt.keys, mqttKeys());
        return std::vector<SectionHelp> { projector, mqtt };
    }();
    return sections;
}

std::optional<ConfigProblem> finishSetup(ProjectorSetup &setup)
{
    if (auto problem = finishProjector(setup.projector))
        return problem;
    const QString section = projectorSection(setup.projector.id);
    if (!setup.pjlink.listen && !setup.projector.raw)
        return ConfigProblem { 0, section, QStringLiteral("pjlink"),
                               QStringLiteral("neither a PJLink nor a raw listener is given") };
    return checkPjlink(setup.pjlink, section);
}

std::optional<ConfigProblem> checkTogether(const std::vector<ProjectorSetup> &projectors)
{
    struct Taken
    {
        ListenAddress address;
        QString id;
    };
    std::vector<Taken> taken;
    QStringList ids;
    for (const ProjectorSetup &setup : projectors) {
        const QString &id = setup.projector.id;
        if (ids.contains(id))
            return ConfigProblem { 0, projectorSection(id), {}, QStringLiteral("a second projector with this id") };
        ids.append(id);
        const std::pair<const char *, const std::optional<ListenAddress> *> listeners[] = {
            { "pjlink", &setup.pjlink.listen }, { "raw", &setup.projector.raw } };
        for (const auto &[key, address] : listeners) {
            if (!*address)
                continue;
            // A structured binding cannot be captured before C++20: the lambda gets a copy.
            const ListenAddress wanted = **address;
            const auto same = std::find_if(taken.begin(), taken.end(),
                                           [&wanted](const Taken &t) { return listenersCollide(t.address, wanted); });
            if (same != taken.end())
                return ConfigProblem { 0, projectorSection(id), QLatin1String(key),
                                       QStringLiteral("%1 is also used by projector %2").arg(wanted.toString(), same->id) };
            taken.push_back({ wanted, id });
        }
    }
    return std::nullopt;
}

ParsedConfig parseConfig(QStringView text)
{
    ParsedConfig parsed;
    const ConfigFile file = readConfigFile(
        text, { { QLatin1String(kProjectorSection), true }, { QLatin1String(kMqttSection), false } });
    for (const ConfigSection &section : file.sections) {
        // The file's shape went wrong inside the last section: its values
        // up to there count, what it lacks at its end does not.
        const bool cutShort = file.problem && &section == &file.sections.back();
        std::vector<BoundKey> keys;
        if (section.kind == QLatin1String(kMqttSection)) {
            MqttConfig &mqtt = parsed.mqtt.emplace();
            appendBound(keys, mqttKeys(), mqtt);
            if ((parsed.problem = applySection(section, keys)))
                return parsed;
            if (!cutShort && (parsed.problem = checkMqtt(mqtt, section.header())))
                return parsed;
            continue;
        }
        ProjectorSetup &setup = parsed.projectors.emplace_back();
        setup.projector.id = section.id;
        if ((parsed.problem = applySection(section, projectorSectionKeys(setup))))
            return parsed;
        if (!cutShort && (parsed.problem = finishSetup(setup)))
            return parsed;
    }
    if ((parsed.problem = file.problem))
        return parsed;
    if (parsed.projectors.empty()) {
        parsed.problem = ConfigProblem { 0, {}, {}, QStringLiteral("no [projector ID] section") };
        return parsed;
    }
    parsed.problem = checkTogether(parsed.projectors);
    return parsed;
}

} // namespace koru::bridge
