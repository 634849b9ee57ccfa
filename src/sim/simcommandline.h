#pragma once

#include "program/commandline.h"
#include "sim/simoptions.h"

#include <QString>
#include <QStringList>

namespace koru::sim {

// What the command line of koru-projector-sim asks for; exitCode, output and
// error for help, version or a usage error.
struct SimCommandLine : program::Ending
{
    SimOptions options;
    QString linkPath; // empty: no link
    bool forceLink = false; // take the link over from a running simulator
    bool verbose = false;
};

// Parses the arguments, program name first, as QCoreApplication::arguments()
// gives them. Never exits the process.
SimCommandLine parseSimCommandLine(const QStringList &arguments);

} // namespace koru::sim
