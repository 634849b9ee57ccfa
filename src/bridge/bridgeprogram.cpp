#include "bridge/bridgeprogram.h"

#include "bridge/bridgedaemon.h"
#include "bridge/bridgeoptions.h"
#include "bridge/mqttservice.h"
#include "bridge/passwordfile.h"
#include "protocol/trafficlog.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>

namespace koru::bridge {

namespace {

void printLine(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

struct Loaded
{
    std::vector<ProjectorSetup> setups;
    std::optional<MqttConfig> mqtt;
    QString error; // worded for standard error; empty on success
};

// The projectors, from the command line or the file, each with its password.
Loaded load(const BridgeOptions &options)
{
    Loaded loaded;
    std::vector<ProjectorConfig> configs;
    if (options.single) {
        configs.push_back(*options.single);
    } else {
        QFile file(options.configPath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            loaded.error = QStringLiteral("%1: %2").arg(options.configPath, file.errorString());
            return loaded;
        }
        const ParsedConfig parsed = parseConfig(QString::fromUtf8(file.readAll()));
        if (parsed.problem) {
            loaded.error = describeProblem(options.configPath, *parsed.problem);
            return loaded;
        }
        configs = parsed.projectors;
        loaded.mqtt = parsed.mqtt;
    }
    if (options.mqtt) {
        // --mqtt names the broker; the rest of [mqtt], if any, still holds.
        if (!loaded.mqtt)
            loaded.mqtt = options.mqtt;
        loaded.mqtt->host = options.mqtt->host;
        loaded.mqtt->port = options.mqtt->port;
    }
    for (const ProjectorConfig &config : configs) {
        ProjectorSetup setup { config, {} };
        if (!config.passwordFile.isEmpty()) {
            const PasswordFile password = readPasswordFile(config.passwordFile);
            if (!password.error.isEmpty()) {
                const ConfigProblem problem { 0, config.id, QStringLiteral("password-file"),
                                              QStringLiteral("%1: %2").arg(config.passwordFile, password.error) };
                loaded.error = options.single ? QStringLiteral("--password-file: ") + problem.message
                                              : describeProblem(options.configPath, problem);
                return loaded;
            }
            if (password.othersCanRead)
                printLine(stderr, QStringLiteral("warning: [%1] the password file %2 can be read by any user")
                                      .arg(config.id, config.passwordFile));
            setup.password = password.password;
        }
        if (config.pjlink && setup.password.isEmpty() && !config.pjlink->host.isLoopback())
            printLine(stderr, QStringLiteral("warning: [%1] PJLink on %2 without a password: anyone on the "
                                             "network can switch the projector")
                                  .arg(config.id, config.pjlink->toString()));
        loaded.setups.push_back(setup);
    }
    return loaded;
}

} // namespace

int runBridge(int argc, char *argv[], const TerminationHook &onTermination)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const BridgeCommandLine commandLine = parseBridgeCommandLine(arguments);
    if (commandLine.exitCode) {
        std::fputs(qPrintable(commandLine.output), stdout);
        std::fputs(qPrintable(commandLine.error), stderr);
        return *commandLine.exitCode;
    }
    const BridgeOptions &options = commandLine.options;
    const Loaded loaded = load(options);
    if (!loaded.error.isEmpty()) {
        printLine(stderr, QStringLiteral("koru-bridge: ") + loaded.error);
        return exitcode::Usage;
    }
    if (options.check) {
        printLine(stdout, QStringLiteral("%1: %2 projector(s), no problem found")
                              .arg(options.single ? QStringLiteral("command line") : options.configPath)
                              .arg(loaded.setups.size()));
        return exitcode::Stopped;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("koru-bridge"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));

    std::unique_ptr<TrafficLog> log;
    if (!options.logPath.isEmpty()) {
        log = std::make_unique<TrafficLog>();
        QString error;
        if (!log->open(options.logPath, &error)) {
            printLine(stderr, QStringLiteral("koru-bridge: --log: ") + error);
            return exitcode::Usage;
        }
    }
    auto *daemon = new BridgeDaemon(loaded.setups, BridgeTimings {}, log.get(), &app);
    QObject::connect(daemon, &BridgeDaemon::notice, &app, [](const QString &text) { printLine(stderr, text); });
    MqttService *mqtt = nullptr;
    if (loaded.mqtt) {
        std::vector<MqttProjector> published;
        for (BridgeProjector *projector : daemon->projectors()) {
            const ProjectorConfig &config = projector->config();
            published.push_back({ { config.id, config.name, config.model }, projector->model() });
        }
        mqtt = new MqttService(*loaded.mqtt, std::move(published), &app);
        QObject::connect(mqtt, &MqttService::notice, &app, [](const QString &text) { printLine(stderr, text); });
        QObject::connect(mqtt, &MqttService::stopped, &app, [] { QCoreApplication::exit(exitcode::Stopped); });
    }
    QString error;
    const auto stop = [daemon, mqtt] {
        daemon->stop();
        // The broker hears "offline" before the bridge goes; the client
        // bounds how long that may take.
        if (mqtt)
            mqtt->stop();
        else
            QCoreApplication::exit(exitcode::Stopped);
    };
    if (!onTermination(daemon, stop, &error)) {
        printLine(stderr, QStringLiteral("koru-bridge: ") + error);
        return exitcode::StartFailed;
    }
    // Before the daemon says it is ready: a password file it cannot read
    // stops the start like a listener that cannot open.
    if (mqtt) {
        if (const std::optional<QString> problem = mqtt->start()) {
            printLine(stderr, QStringLiteral("koru-bridge: [mqtt] ") + *problem);
            return exitcode::StartFailed;
        }
    }
    if (!daemon->start(&error)) {
        printLine(stderr, QStringLiteral("koru-bridge: ") + error);
        return exitcode::StartFailed;
    }
    const int status = app.exec();
    delete daemon; // before the transcript it writes to
    return status;
}

} // namespace koru::bridge
