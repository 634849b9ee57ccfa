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
    };
    return help;
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
    const QString program = QStringLiteral("koru-bridge");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shares one projector line with PJLink controllers and raw clients on the network."));
    parser.addOptions({
        { QStringLiteral("config"), QStringLiteral("The configuration file (default %1).").arg(kDefaultConfigPath),
          QStringLiteral("file") },
        { QStringLiteral("check"), QStringLiteral("Check the configuration and exit.") },
        { QStringLiteral("id"), QStringLiteral("The projector's id in the log (default %1).").arg(kDefaultId),
          QStringLiteral("id") },
        { QStringLiteral("log"), QStringLiteral("Append a transcript of every line's traffic to the file."),
          QStringLiteral("file") },
        { QStringLiteral("mqtt"),
          QStringLiteral("Publish the projector on this MQTT broker, HOST:PORT (with --config: instead of the "
                         "[mqtt] section's host and port)."),
          QStringLiteral("host:port") },
        { QStringLiteral("help"), QStringLiteral("Show this help and exit.") },
        { QStringLiteral("version"), QStringLiteral("Show the version and exit.") },
    });
    for (const QString &key : configKeys())
        parser.addOption({ key, keyHelp().value(key), QStringLiteral("value") });

    const auto usage = [&](const QString &message) {
        result.exitCode = exitcode::Usage;
        result.error = QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(program, message);
        return result;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.isSet(QStringLiteral("help"))) {
        result.exitCode = exitcode::Stopped;
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.exitCode = exitcode::Stopped;
        result.output = QStringLiteral("%1 %2\n").arg(program, QStringLiteral(KORU_VERSION));
        return result;
    }
    BridgeOptions &options = result.options;
    options.check = parser.isSet(QStringLiteral("check"));
    options.logPath = parser.value(QStringLiteral("log"));
    if (parser.isSet(QStringLiteral("config")))
        options.configPath = parser.value(QStringLiteral("config"));
    if (parser.isSet(QStringLiteral("mqtt"))) {
        options.mqtt.emplace();
        if (auto reason = setMqttAddress(*options.mqtt, parser.value(QStringLiteral("mqtt"))))
            return usage(QStringLiteral("--mqtt: ") + *reason);
    }

    QStringList projectorOptions;
    for (const QString &key : configKeys() + QStringList { QStringLiteral("id") }) {
        if (parser.isSet(key))
            projectorOptions.append(QStringLiteral("--") + key);
    }
    if (projectorOptions.isEmpty())
        return result;
    if (!parser.isSet(QStringLiteral("port")))
        return usage(QStringLiteral("%1 describes a projector on the command line: give its --port too")
                         .arg(projectorOptions.first()));
    if (parser.isSet(QStringLiteral("config")))
        return usage(QStringLiteral("--config and a projector on the command line (--port) exclude each other"));
    ProjectorConfig config;
    config.id = parser.isSet(QStringLiteral("id")) ? parser.value(QStringLiteral("id")) : QLatin1String(kDefaultId);
    for (const QString &key : configKeys()) {
        if (!parser.isSet(key))
            continue;
        if (auto reason = applyConfigValue(config, key, parser.value(key)))
            return usage(QStringLiteral("--%1: %2").arg(key, *reason));
    }
    if (config.name.isEmpty())
        config.name = config.id;
    if (auto problem = checkProjector(config))
        return usage(QStringLiteral("--%1: %2").arg(problem->key, problem->message));
    options.single = config;
    return result;
}

} // namespace koru::bridge
