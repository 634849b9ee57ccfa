#include "ctl/ctlprogram.h"

#include "ctl/ctlcommandline.h"
#include "ctl/ctlrunner.h"
#include "program/output.h"
#include "program/trafficlogfile.h"

#include <QCoreApplication>
#include <QTextStream>

#include <memory>

namespace koru::ctl {

int runCtl(int argc, char *argv[])
{
    const CtlCommandLine commandLine = parseCtlCommandLine(program::argumentList(argc, argv));
    if (commandLine.exitCode)
        return program::finish(commandLine);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("koru-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));

    std::unique_ptr<TrafficLog> log;
    if (!program::openTrafficLog(commandLine.options.logPath, log, QStringLiteral("koru-ctl")))
        return exitcode::PortFailed;

    QTextStream out(stdout);
    QTextStream err(stderr);
    auto *runner = new CtlRunner(commandLine.options, out, err, log.get(), &app);
    QObject::connect(runner, &CtlRunner::finished, &app, &QCoreApplication::exit);
    runner->start();
    return app.exec();
}

} // namespace koru::ctl
