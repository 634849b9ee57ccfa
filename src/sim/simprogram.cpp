#include "sim/simprogram.h"

#include "program/exitstatus.h"
#include "program/output.h"
#include "program/terminationsignals.h"
#include "sim/devicelink.h"
#include "sim/projectorsim.h"
#include "sim/simcommandline.h"

#include <QCoreApplication>

namespace koru::sim {

namespace {

void complain(const QString &message)
{
    program::complain(QStringLiteral("koru-projector-sim"), message);
}

QString printable(const QByteArray &frame)
{
    QString text;
    for (const char c : frame) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 32 && byte < 127 ? QString(QChar(char16_t(byte))) : QStringLiteral("<%1>").arg(byte);
    }
    return text;
}

} // namespace

int runSim(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("koru-projector-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));
    const SimCommandLine commandLine = parseSimCommandLine(app.arguments());
    if (commandLine.exitCode)
        return program::finish(commandLine);

    QString error;
    program::TerminationSignals signalWatcher(&app);
    if (!signalWatcher.install(&error)) {
        complain(error);
        return program::exitstatus::Failure;
    }

    ProjectorSim sim(commandLine.options, &app);
    if (!sim.start(&error)) {
        complain(error);
        return program::exitstatus::Failure;
    }

    DeviceLink link;
    if (!commandLine.linkPath.isEmpty() && !link.create(commandLine.linkPath, sim.devicePath(), commandLine.forceLink, &error)) {
        complain(error);
        return program::exitstatus::Failure;
    }

    QObject::connect(&signalWatcher, &program::TerminationSignals::received, &app, [&app](int) { app.exit(0); });
    QObject::connect(&sim, &ProjectorSim::hungUp, &app, [&app] {
        complain(QStringLiteral("hung up the line"));
        app.exit(0);
    });
    QObject::connect(&sim, &ProjectorSim::lineFailed, &app, [&app](const QString &message) {
        complain(message);
        app.exit(1);
    });
    if (commandLine.verbose) {
        QObject::connect(&sim, &ProjectorSim::frameReceived, &app, [](const QByteArray &frame) {
            complain(QStringLiteral("frame %1").arg(printable(frame)));
        });
    }

    program::printOut(sim.devicePath() + QLatin1Char('\n'));
    return app.exec();
}

} // namespace koru::sim
