#pragma once

namespace koru::bridge {

// The whole of koru-bridge: command line, configuration, transcript,
// listeners and lines, event loop until SIGTERM. Returns the exit status.
int runBridge(int argc, char *argv[]);

} // namespace koru::bridge
