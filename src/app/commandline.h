#pragma once

#include "serial/mscomm.h"

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

struct PanelCommandLine
{
    PanelOptions options;
    std::optional<int> exitCode; // set when the program should stop right away
    QString output;              // for standard output (help, version)
    QString error;               // for standard error
};

// Parses the arguments (the first one is the program's name).
PanelCommandLine parsePanelCommandLine(const QStringList &arguments);

} // namespace koru
