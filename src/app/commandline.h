#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace koru {

struct PanelOptions
{
    QString com1 = QStringLiteral("/dev/ttyS0");
    QString com2 = QStringLiteral("/dev/ttyS1");
    bool simulate = false; // COM1 talks to a built-in simulated projector
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
