#include "bridge/service/reloadplan.h"

#include <algorithm>

namespace koru::bridge {

namespace {

const ProjectorSetup *findById(const std::vector<ProjectorSetup> &setups, const QString &id)
{
    const auto found = std::find_if(setups.begin(), setups.end(),
                                    [&id](const ProjectorSetup &setup) { return setup.projector.id == id; });
    return found == setups.end() ? nullptr : &*found;
}

} // namespace

std::vector<PlannedProjector> planReload(const std::vector<ProjectorSetup> &running,
                                         const std::vector<ProjectorSetup> &wanted)
{
    std::vector<PlannedProjector> plan;
    for (const ProjectorSetup &setup : wanted) {
        const ProjectorSetup *now = findById(running, setup.projector.id);
        const ReloadStep step = !now ? ReloadStep::Start : *now == setup ? ReloadStep::Keep : ReloadStep::Restart;
        plan.push_back({ setup.projector.id, step });
    }
    for (const ProjectorSetup &setup : running) {
        if (!findById(wanted, setup.projector.id))
            plan.push_back({ setup.projector.id, ReloadStep::Close });
    }
    return plan;
}

} // namespace koru::bridge
