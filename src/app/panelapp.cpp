#include "app/panelapp.h"

#include "layout/panelbuilder.h"
#include "panel/form1.h"
#include "panel/reporter.h"
#include "serial/mscomm.h"
#include "sim/projectorsim.h"

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
    session.form->MSComm1->setDevicePath(1, com1);
    session.form->MSComm1->setDevicePath(2, options.com2);
    if (!session.form->Form_Load())
        return false;
    session.form->show();
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

    MessageBoxReporter reporter;
    PanelSession session;
    if (!startPanel(commandLine.options, reporter, session))
        return 1;
    QObject::connect(session.form.get(), &Form1::ended, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace koru
