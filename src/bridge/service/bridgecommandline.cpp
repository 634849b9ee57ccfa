#include "bridge/service/bridgecommandline.h"

#include <QCommandLineParser>

namespace koru::bridge {

namespace {

const QString ConfigOption = QStringLiteral("config");
const QString CheckOption = QStringLiteral("check");
const QString IdOption = QStringLiteral("id");
const QString LogOption = QStringLiteral("log");
const QString MqttOption = QStringLiteral("mqtt");
const QString PortKey = QStringLiteral("port");

const program::ProgramInfo kProgram {
    QStringLiteral("koru-bridge"),
    QStringLiteral("Keeps the lines of one or more projectors and shares each with PJLink controllers and raw "
                   "clients on the network, and with an MQTT broker."),
};

void addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        { ConfigOption, QStringLiteral("The configuration file (default %1).").arg(kDefaultConfigPath),
          QStringLiteral("file") },
        { CheckOption, QStringLiteral("Check the configuration and exit.") },
        { IdOption, QStringLiteral("The projector's id in the log (default %1).").arg(kDefaultId), QStringLiteral("id") },
        { LogOption, QStringLiteral("Append a transcript of every line's traffic to the file."), QStringLiteral("file") },
        { MqttOption,
          QStringLiteral("Publish the projector on this MQTT broker, HOST:PORT (with --config: instead of the "
                         "[mqtt] section's host and port)."),
          QStringLiteral("host:port") },
    });
    // A projector on the command line takes its section's keys as options.
    for (const KeyHelp &key : sectionHelp().front().keys)
        parser.addOption({ key.key, key.help, key.valueName });
}

// Each reader below takes its options from `parser` into `options`; a
// message for the user when one of them is wrong.
using program::Refusal;

Refusal readGeneral(const QCommandLineParser &parser, BridgeOptions &options)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
    options.check = parser.isSet(CheckOption);
    options.logPath = parser.value(LogOption);
    if (parser.isSet(ConfigOption))
        options.configPath = parser.value(ConfigOption);
    if (parser.isSet(MqttOption)) {
        options.mqtt.emplace();
        if (auto reason = setMqttAddress(*options.mqtt, parser.value(MqttOption)))
            return QStringLiteral("--mqtt: ") + *reason;
    }
    return std::nullopt;
}

// A projector on the command line: the file's keys as options, and --id.
Refusal readSingleProjector(const QCommandLineParser &parser, BridgeOptions &options)
{
    ProjectorSetup setup;
    const std::vector<BoundKey> keys = projectorSectionKeys(setup);
    QStringList given;
    for (const BoundKey &key : keys) {
        if (parser.isSet(key.key))
            given.append(QStringLiteral("--") + key.key);
    }
    if (parser.isSet(IdOption))
        given.append(QStringLiteral("--") + IdOption);
    if (given.isEmpty())
        return std::nullopt;
    if (!parser.isSet(PortKey))
        return QStringLiteral("%1 describes a projector on the command line: give its --port too").arg(given.first());
    if (parser.isSet(ConfigOption))
        return QStringLiteral("--config and a projector on the command line (--port) exclude each other");
    setup.projector.id = parser.isSet(IdOption) ? parser.value(IdOption) : QLatin1String(kDefaultId);
    for (const BoundKey &key : keys) {
        if (!parser.isSet(key.key))
            continue;
        if (auto reason = key.apply(parser.value(key.key)))
            return QStringLiteral("--%1: %2").arg(key.key, *reason);
    }
    if (auto problem = finishSetup(setup))
        return QStringLiteral("--%1: %2").arg(problem->key, problem->message);
    options.single = setup;
    return std::nullopt;
}

} // namespace

BridgeCommandLine parseBridgeCommandLine(const QStringList &arguments)
{
    BridgeCommandLine result;
    program::CommandLine commandLine(arguments, kProgram);
    QCommandLineParser &parser = commandLine.parser();
    addOptions(parser);
    if (!commandLine.parse(arguments, result))
        return result;
    commandLine.read({ readGeneral, readSingleProjector }, result.options, result);
    return result;
}

} // namespace koru::bridge
