#pragma once

#include "sim/simoptions.h"

#include <QString>
#include <QStringList>

namespace koru::sim {

// What the command line of koru-projector-sim asks for.
struct SimCommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, Fail };

    Action action = Action::Run;
    SimOptions options;
    QString linkPath; // empty: no link
    bool forceLink = false; // take the link over from a running simulator
    bool verbose = false;
    QString text; // the help or version text, or the error message

    static constexpr int UsageExitStatus = 2;
};

// Parses the arguments, program name first, as QCoreApplication::arguments()
// gives them. Never exits the process.
SimCommandLine parseSimCommandLine(const QStringList &arguments);

} // namespace koru::sim
