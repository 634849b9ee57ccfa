#include "app/panelprogram.h"

#include "layout/panelbuilder.h"
#include "panel/form1.h"
#include "panel/reporter.h"
#include "program/exitstatus.h"
#include "program/output.h"
#include "program/terminationsignals.h"
#include "program/trafficlogfile.h"
#include "protocol/trafficlog.h"
#include "serial/mscomm.h"
#include "serial/portconfig.h"
#include "serial/portlisting.h"
#include "sim/projectorsim.h"

#include <QApplication>

#include <optional>

namespace koru {

PanelSession::PanelSession() = default;
PanelSession::~PanelSession()
{
    form.reset(); // the panel lets go of the line before its far end goes
    simulator.reset();
}

bool startPanel(const PanelOptions &options, Reporter &reporter, PanelSession &session,
                std::function<void(bool opened)> loaded)
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
    Form1 *form = session.form.get();
    QObject::connect(form, &Form1::loadFinished, form, [form, loaded = std::move(loaded)](bool opened) {
        if (opened)
            form->show();
        if (loaded)
            loaded(opened);
    });
    form->Form_Load();
    return true;
}

bool openTrafficLog(const PanelOptions &options, PanelSession &session, QString *error)
{
    return program::openTrafficLog(options.logPath, session.trafficLog, error);
}

namespace {

const QString kProgramName = QStringLiteral("koru-panel");

// Start-up failures end the program with status 1; a launcher's log or the
// terminal should say why, not only the box.
class TerminalEchoReporter final : public Reporter
{
public:
    void warn(QWidget *parent, const QString &title, const QString &message) override
    {
        if (echo)
            program::complain(kProgramName, message);
        m_box.warn(parent, title, message);
    }
    bool echo = true;

private:
    MessageBoxReporter m_box;
};

int savePorts(const PortMapping &ports)
{
    const QString path = portConfigPath();
    QString error;
    if (!savePortMapping(path, ports, &error)) {
        program::complain(kProgramName, error);
        return program::exitstatus::Failure;
    }
    QString saved;
    if (ports.com1)
        saved += QStringLiteral("COM1 = %1\n").arg(*ports.com1);
    if (ports.com2)
        saved += QStringLiteral("COM2 = %1\n").arg(*ports.com2);
    program::printOut(QStringLiteral("%1saved in %2\n").arg(saved, path));
    return program::exitstatus::Success;
}

} // namespace

int runPanel(int argc, char *argv[])
{
    const PanelCommandLine commandLine =
        parsePanelCommandLine(program::argumentList(argc, argv), loadPortMapping(portConfigPath()));
    if (commandLine.exitCode)
        return program::finish(commandLine);
    switch (commandLine.action) {
    case PanelCommandLine::Action::ListPorts:
        program::printOut(formatSerialPortListing(presentSerialPorts()));
        return program::exitstatus::Success;
    case PanelCommandLine::Action::SavePorts:
        return savePorts(commandLine.portsToSave);
    case PanelCommandLine::Action::Run:
        break;
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
    program::TerminationSignals termination(&app);
    if (QString error; !termination.install(&error))
        program::complain(kProgramName, error);

    TerminalEchoReporter reporter;
    PanelSession session;
    bool running = false;
    QObject::connect(&termination, &program::TerminationSignals::received, &app, [&session, &running](int) {
        if (QWidget *box = QApplication::activeModalWidget(); box && !running) {
            box->close(); // the start-up failure box: the program ends with it
            return;
        }
        if (session.form)
            session.form->Command16_Click(); // also while start-up waits for the port
    });
    // A log asked for on the command line that cannot be written is an error
    // of the command line: said on the terminal it was given from.
    if (!program::openTrafficLog(commandLine.options.logPath, session.trafficLog, kProgramName))
        return program::exitstatus::Failure;
    std::optional<bool> loaded;
    const auto onLoaded = [&reporter, &running, &loaded](bool opened) {
        loaded = opened;
        if (!opened) {
            QCoreApplication::exit(program::exitstatus::Failure); // a gateway's failure, in the event loop
            return;
        }
        reporter.echo = false; // later warnings are the operator's, in the window
        running = true;
    };
    if (!startPanel(commandLine.options, reporter, session, onLoaded) || (loaded && !*loaded))
        return program::exitstatus::Failure;
    QObject::connect(session.form.get(), &Form1::ended, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace koru
