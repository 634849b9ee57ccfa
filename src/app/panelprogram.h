#pragma once

#include "app/panelcommandline.h"

#include <functional>
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

// Builds the panel and starts its start-up, which ends in `loaded`: before
// this returns on a device, from the event loop on a gateway. The window shows
// once the port is open; on a failure it has been reported and nothing shows.
// False when the panel could not be built (the simulated projector did not
// start); that too has been reported, and `loaded` is not called.
bool startPanel(const PanelOptions &options, Reporter &reporter, PanelSession &session,
                std::function<void(bool opened)> loaded = {});

// The whole program: command line, start-up, event loop. Returns the exit status.
int runPanel(int argc, char *argv[]);

} // namespace koru
