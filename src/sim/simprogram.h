#pragma once

namespace koru::sim {

// The whole of koru-projector-sim behind its main(): reads the command line,
// starts the simulator, prints its device, runs the event loop until a
// termination signal (or the hang-up fault) and returns the exit status.
int runSim(int argc, char *argv[]);

} // namespace koru::sim
