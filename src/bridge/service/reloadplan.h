#pragma once

#include "bridge/service/bridgesetup.h"

#include <QString>

#include <vector>

namespace koru::bridge {

// What a reload does to one projector, found by its id.
enum class ReloadStep {
    Keep,    // the same configuration: its line, model and connections stay
    Restart, // changed: closed and started again with the new one
    Close,   // no longer configured
    Start,   // newly configured
};

struct PlannedProjector
{
    QString id;
    ReloadStep step;
};

// Every projector of either configuration once: the wanted ones in their
// order, then the running ones that are gone.
std::vector<PlannedProjector> planReload(const std::vector<ProjectorSetup> &running,
                                         const std::vector<ProjectorSetup> &wanted);

} // namespace koru::bridge
