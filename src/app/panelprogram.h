#pragma once

#include "app/panelcommandline.h"

#include <memory>

namespace koru {

class Form1;
class TrafficLog;
class Reporter;
namespace sim {
class ProjectorSim;
}

// What a running panel consists of.
struct PanelSession
{
    PanelSession();
    ~PanelSession();
    std::unique_ptr<sim::ProjectorSim> simulator; // with --simulate only
    std::unique_ptr<Form1> form;
    std::unique_ptr<TrafficLog> trafficLog; // with --log only; outlives the form
};

// Opens the traffic log that --log names into the session. False, with the
// reason in `error`, when the file cannot be opened for writing.
bool openTrafficLog(const PanelOptions &options, PanelSession &session, QString *error);

// Builds the panel and runs its start-up. False when start-up failed; the
// failure has then been reported and nothing was shown.
bool startPanel(const PanelOptions &options, Reporter &reporter, PanelSession &session);

// The whole program: command line, start-up, event loop. Returns the exit status.
int runPanel(int argc, char *argv[]);

} // namespace koru
