#include "bridge/bridgeoptions.h"

#include <QCommandLineParser>

namespace koru::bridge {

namespace {

const QMap<QString, QString> &keyHelp()
{
    static const QMap<QString, QString> help = {
        { QStringLiteral("port"), QStringLiteral("The projector's line: a device path, tcp://HOST:PORT or rfc2217://HOST:PORT.") },
        { QStringLiteral("speed"), QStringLiteral("The line speed, 9600 or 19200 (default).") },
        { QStringLiteral("name"), QStringLiteral("The name PJLink controllers see (default: the id).") },
        { QStringLiteral("model"), QStringLiteral("The model PJLink reports.") },
        { QStringLiteral("info"), QStringLiteral("The other information PJLink reports.") },
        { QStringLiteral("pjlink"), QStringLiteral("Where the PJLink server listens, ADDRESS:PORT.") },
        { QStringLiteral("password-file"), QStringLiteral("The file holding the PJLink password.") },
        { QStringLiteral("raw"), QStringLiteral("Where the raw shared port listens, ADDRESS:PORT.") },
        { QStringLiteral("max-connections"), QStringLiteral("Connections each listener takes at once (default 8).") },
        { QStringLiteral("max-connections-per-address"),
          QStringLiteral("Of those, connections one address may have at once (default %1).")
              .arg(kDefaultMaxConnectionsPerAddress) },
    };
    return help;
}

const QString ConfigOption = QStringLiteral("config");
const QString CheckOption = QStringLiteral("check");
const QString IdOption = QStringLiteral("id");
const QString LogOption = QStringLiteral("log");
const QString MqttOption = QStringLiteral("mqtt");
const QString PortKey = QStringLiteral("port");

const program::ProgramInfo kProgram {
    QStringLiteral("koru-bridge"),
    QStringLiteral("Shares one projector line with PJLink controllers and raw clients on the network."),
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
    for (const QString &key : configKeys())
        parser.addOption({ key, keyHelp().value(key), QStringLiteral("value") });
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
    QStringList given;
    for (const QString &key : configKeys() + QStringList { IdOption }) {
        if (parser.isSet(key))
            given.append(QStringLiteral("--") + key);
    }
    if (given.isEmpty())
        return std::nullopt;
    if (!parser.isSet(PortKey))
        return QStringLiteral("%1 describes a projector on the command line: give its --port too").arg(given.first());
    if (parser.isSet(ConfigOption))
        return QStringLiteral("--config and a projector on the command line (--port) exclude each other");
    ProjectorConfig config;
    config.id = parser.isSet(IdOption) ? parser.value(IdOption) : QLatin1String(kDefaultId);
    for (const QString &key : configKeys()) {
        if (!parser.isSet(key))
            continue;
        if (auto reason = applyConfigValue(config, key, parser.value(key)))
            return QStringLiteral("--%1: %2").arg(key, *reason);
    }
    if (config.name.isEmpty())
        config.name = config.id;
    if (auto problem = checkProjector(config))
        return QStringLiteral("--%1: %2").arg(problem->key, problem->message);
    options.single = config;
    return std::nullopt;
}

} // namespace

QString describeProblem(const QString &path, const ConfigProblem &problem)
{
    QString where = path;
    if (problem.line > 0)
        where += QLatin1Char(':') + QString::number(problem.line);
    if (problem.section == u"mqtt")
        where += QStringLiteral(": [mqtt]");
    else if (!problem.section.isEmpty())
        where += QStringLiteral(": [projector %1]").arg(problem.section);
    if (!problem.key.isEmpty())
        where += QStringLiteral(": ") + problem.key;
    return where + QStringLiteral(": ") + problem.message;
}

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
