#include "bridge/service/bridgeprogram.h"

#include "bridge/passwordfile.h"
#include "bridge/service/bridgecommandline.h"
#include "bridge/service/bridgedaemon.h"
#include "program/exitstatus.h"
#include "program/output.h"
#include "program/terminationsignals.h"
#include "program/trafficlogfile.h"

#include <QCoreApplication>
#include <QFile>

#include <memory>

namespace koru::bridge {

namespace {

const QString kName = QStringLiteral("koru-bridge");

void complain(const QString &message)
{
    program::complain(kName, message);
}

// A line of the log: journald takes standard error.
void logLine(const QString &text)
{
    program::printErr(text + QLatin1Char('\n'));
}

struct Loaded
{
    ServiceConfig config;
    QString error; // worded for standard error; empty on success
};

// A password file, PJLink's or the broker's, through the one reader: its
// problem placed under the section's password-file key; a warning when any
// user may read it.
std::optional<ConfigProblem> readSecret(const QString &path, qsizetype maxLength, const QString &section,
                                        const QString &label, QByteArray &password)
{
    const PasswordFile file = readPasswordFile(path, maxLength);
    if (!file.error.isEmpty())
        return ConfigProblem { 0, section, QStringLiteral("password-file"), QStringLiteral("%1: %2").arg(path, file.error) };
    if (file.othersCanRead)
        logLine(QStringLiteral("warning: [%1] the password file %2 can be read by any user").arg(label, path));
    password = file.password;
    return std::nullopt;
}

// The projectors, from the command line or the file, each with its password,
// and the broker with its own.
Loaded load(const BridgeOptions &options)
{
    Loaded loaded;
    std::vector<ProjectorSetup> setups;
    if (options.single) {
        setups.push_back(*options.single);
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
        setups = parsed.projectors;
        loaded.config.mqtt = parsed.mqtt;
    }
    std::optional<MqttConfig> &mqtt = loaded.config.mqtt;
    if (options.mqtt) {
        // --mqtt names the broker; the rest of [mqtt], if any, still holds.
        if (!mqtt)
            mqtt = options.mqtt;
        mqtt->host = options.mqtt->host;
        mqtt->port = options.mqtt->port;
    }
    const auto refuse = [&](const ConfigProblem &problem) {
        loaded.error = options.single ? QStringLiteral("--password-file: ") + problem.message
                                      : describeProblem(options.configPath, problem);
        return loaded;
    };
    for (ProjectorSetup &setup : setups) {
        const ProjectorConfig &config = setup.projector;
        const PjlinkConfig &pjlink = setup.pjlink;
        if (!pjlink.passwordFile.isEmpty()) {
            if (auto problem = readSecret(pjlink.passwordFile, kMaxPjlinkPassword,
                                          QLatin1String(kProjectorSection) + QLatin1Char(' ') + config.id, config.id,
                                          setup.password))
                return refuse(*problem);
        }
        if (pjlink.listen && setup.password.isEmpty() && !pjlink.listen->host.isLoopback())
            logLine(QStringLiteral("warning: [%1] PJLink on %2 without a password: anyone on the "
                                   "network can switch the projector")
                        .arg(config.id, pjlink.listen->toString()));
    }
    if (mqtt && !mqtt->passwordFile.isEmpty()) {
        const QString section = QLatin1String(kMqttSection);
        if (auto problem = readSecret(mqtt->passwordFile, kMaxMqttPassword, section, section, mqtt->password))
            return refuse(*problem);
    }
    loaded.config.projectors = setups;
    return loaded;
}

} // namespace

int runBridge(int argc, char *argv[])
{
    const BridgeCommandLine commandLine = parseBridgeCommandLine(program::argumentList(argc, argv));
    if (commandLine.exitCode)
        return program::finish(commandLine);
    const BridgeOptions &options = commandLine.options;
    const Loaded loaded = load(options);
    if (!loaded.error.isEmpty()) {
        complain(loaded.error);
        return program::exitstatus::Usage;
    }
    if (options.check) {
        program::printOut(QStringLiteral("%1: %2 projector(s), no problem found\n")
                              .arg(options.single ? QStringLiteral("command line") : options.configPath)
                              .arg(loaded.config.projectors.size()));
        return program::exitstatus::Success;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kName);
    QCoreApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));

    // A transcript that cannot be written is a mistake of the command line.
    std::unique_ptr<TrafficLog> log;
    QString error;
    if (!program::openTrafficLog(options.logPath, log, &error)) {
        complain(QStringLiteral("--log: ") + error);
        return program::exitstatus::Usage;
    }
    auto *daemon = new BridgeDaemon(DaemonTimings {}, log.get(), &app);
    QObject::connect(daemon, &BridgeDaemon::notice, &app, logLine);
    QObject::connect(daemon, &BridgeDaemon::stopped, &app, [] { QCoreApplication::exit(program::exitstatus::Success); });
    // SIGTERM from the service manager: listeners and lines closed, status 0.
    // SIGHUP: the configuration read again and applied; one that does not
    // check leaves the running one as it is.
    auto *watcher = new program::TerminationSignals(daemon, program::TerminationSignals::HangUp::Reloads);
    QObject::connect(watcher, &program::TerminationSignals::received, daemon, &BridgeDaemon::stop);
    QObject::connect(watcher, &program::TerminationSignals::reloadRequested, daemon, [daemon, &options] {
        const Loaded reloaded = load(options);
        if (reloaded.error.isEmpty())
            daemon->reload(reloaded.config);
        else
            daemon->refuseReload(reloaded.error);
    });
    if (!watcher->install(&error)) {
        complain(error);
        return program::exitstatus::Failure;
    }
    if (const std::optional<QString> problem = daemon->start(loaded.config)) {
        complain(*problem);
        return program::exitstatus::Failure;
    }
    const int status = app.exec();
    delete daemon; // before the transcript it writes to
    return status;
}

} // namespace koru::bridge
