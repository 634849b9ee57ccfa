#include "app/panelapp.h"

#include "layout/panelbuilder.h"
#include "panel/form1.h"
#include "panel/reporter.h"
#include "protocol/trafficlog.h"
#include "serial/mscomm.h"
#include "sim/projectorsim.h"
#include "sim/terminationsignals.h"

#include <QApplication>

#include <cstdio>

namespace koru {

PanelSession::PanelSession() = default;
PanelSession::~PanelSession()
{
    form.reset(); // the panel lets go of the line before its far end goes
    simulator.reset();
}

bool startPanel(const PanelOptions &options, Reporter &reporter, PanelSession &session)
{
    QString com1 = options.com1;
    if (options.simulate) {
        session.simulator = std::make_unique<sim::ProjectorSim>(sim::SimOptions {});
        QString error;
        if (!session.simulator->start(&error)) {
            reporter.warn(nullptr, QString::fromUtf8(layout::kWindowTitle),
                          QStringLiteral("The simulated projector cannot start: %1").arg(error));
            return false;
        }
        com1 = session.simulator->devicePath();
    }

    session.form = std::make_unique<Form1>(reporter);
    session.form->trafficLog = session.trafficLog.get();
    session.form->MSComm1->setDevicePath(1, com1);
    session.form->MSComm1->setDevicePath(2, options.com2);
    if (!session.form->Form_Load())
        return false;
    session.form->show();
    return true;
}

bool openTrafficLog(const PanelOptions &options, PanelSession &session, QString *error)
{
    if (options.logPath.isEmpty())
        return true;
    auto log = std::make_unique<TrafficLog>();
    if (!log->open(options.logPath, error))
        return false;
    session.trafficLog = std::move(log);
    return true;
}

int runPanelApp(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const PanelCommandLine commandLine = parsePanelCommandLine(arguments);
    if (commandLine.exitCode) {
        std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
        std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
        return *commandLine.exitCode;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("koru-panel"));
    QApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));
    layout::applyPanelLook(app);

    // A logout, a kill or a closed terminal ends the panel as END does: the
    // port is let go, and with it the lock file that would otherwise stay
    // behind, and the exit status is 0. Watched from before start-up, so a
    // signal that comes while the panel starts is not lost; it is acted on
    // once the event loop runs.
    sim::TerminationSignals termination(&app);
    QString error;
    if (!termination.install(&error))
        std::fprintf(stderr, "koru-panel: %s\n", error.toLocal8Bit().constData());

    MessageBoxReporter reporter;
    PanelSession session;
    bool running = false;
    QObject::connect(&termination, &sim::TerminationSignals::received, &app, [&session, &running](int) {
        if (running)
            session.form->Command16_Click();
        else if (QWidget *box = QApplication::activeModalWidget())
            box->close(); // the start-up failure box: the program ends with it
    });
    // A log asked for on the command line that cannot be written is an error
    // of the command line: said on the terminal it was given from.
    if (QString logError; !openTrafficLog(commandLine.options, session, &logError)) {
        std::fprintf(stderr, "koru-panel: %s\n", qPrintable(logError));
        return 1;
    }
    if (!startPanel(commandLine.options, reporter, session))
        return 1;
    QObject::connect(session.form.get(), &Form1::ended, &app, &QCoreApplication::quit);
    running = true;
    return app.exec();
}

} // namespace koru
