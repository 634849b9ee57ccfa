#include "sim/simprogram.h"

#include "sim/devicelink.h"
#include "sim/projectorsim.h"
#include "sim/simcommandline.h"
#include "sim/terminationsignals.h"

#include <QCoreApplication>

#include <cstdio>

namespace koru::sim {

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

void complain(const QString &message)
{
    print(stderr, QStringLiteral("koru-projector-sim: %1\n").arg(message));
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

int runProjectorSimProgram(QCoreApplication &app)
{
    const SimCommandLine commandLine = parseSimCommandLine(app.arguments());
    switch (commandLine.action) {
    case SimCommandLine::Action::ShowHelp:
    case SimCommandLine::Action::ShowVersion:
        print(stdout, commandLine.text);
        return 0;
    case SimCommandLine::Action::Fail:
        complain(commandLine.text);
        print(stderr, QStringLiteral("Try 'koru-projector-sim --help' for the options.\n"));
        return SimCommandLine::UsageExitStatus;
    case SimCommandLine::Action::Run:
        break;
    }

    QString error;
    TerminationSignals signalWatcher(&app);
    if (!signalWatcher.install(&error)) {
        complain(error);
        return 1;
    }

    ProjectorSim sim(commandLine.options, &app);
    if (!sim.start(&error)) {
        complain(error);
        return 1;
    }

    DeviceLink link;
    if (!commandLine.linkPath.isEmpty() && !link.create(commandLine.linkPath, sim.devicePath(), commandLine.forceLink, &error)) {
        complain(error);
        return 1;
    }

    QObject::connect(&signalWatcher, &TerminationSignals::received, &app, [&app](int) { app.exit(0); });
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

    print(stdout, sim.devicePath() + QLatin1Char('\n'));
    return app.exec();
}

} // namespace koru::sim
