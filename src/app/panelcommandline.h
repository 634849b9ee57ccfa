#pragma once

#include "program/commandline.h"
#include "serial/mscomm.h"
#include "serial/portconfig.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace koru {

struct PanelOptions
{
    QString com1 = QLatin1String(MSComm::kDefaultCom1);
    QString com2 = QLatin1String(MSComm::kDefaultCom2);
    bool simulate = false; // COM1 talks to a built-in simulated projector
    QString logPath;       // traffic log; empty: none
};

// exitCode, output and error: help, version or a usage error.
struct PanelCommandLine : program::Ending
{
    enum class Action { Run, ListPorts, SavePorts };

    Action action = Action::Run;
    PanelOptions options;
    PortMapping portsToSave; // SavePorts: the ports named on the command line
};

// Parses the arguments (the first one is the program's name). Qt's own
// options (-platform, -style ...) are passed over: QApplication takes them.
// `remembered` is the port mapping kept between runs; the command line wins.
PanelCommandLine parsePanelCommandLine(const QStringList &arguments, const PortMapping &remembered = {});

// The arguments without Qt's own options and their values.
QStringList withoutQtOptions(const QStringList &arguments);

} // namespace koru
