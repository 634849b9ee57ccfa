#include "ctl/ctlprogram.h"

#include "ctl/ctloptions.h"
#include "ctl/ctlrunner.h"
#include "protocol/trafficlog.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace koru::ctl {

int runCtl(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CtlCommandLine commandLine = parseCtlCommandLine(arguments);
    if (commandLine.exitCode) {
        std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
        std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
        return *commandLine.exitCode;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("koru-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));

    std::unique_ptr<TrafficLog> log;
    if (!commandLine.options.logPath.isEmpty()) {
        log = std::make_unique<TrafficLog>();
        QString error;
        if (!log->open(commandLine.options.logPath, &error)) {
            std::fprintf(stderr, "koru-ctl: %s\n", qPrintable(error));
            return exitcode::PortFailed;
        }
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    auto *runner = new CtlRunner(commandLine.options, out, err, log.get(), &app);
    QObject::connect(runner, &CtlRunner::finished, &app, &QCoreApplication::exit);
    runner->start();
    return app.exec();
}

} // namespace koru::ctl
