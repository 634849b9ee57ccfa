#pragma once

namespace koru::ctl {

// The whole of koru-ctl: command line, traffic log, port, event loop.
// Returns the exit status.
int runCtl(int argc, char *argv[]);

} // namespace koru::ctl
