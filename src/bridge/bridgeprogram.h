#pragma once

#include <QObject>

#include <functional>

namespace koru::bridge {

// How the program hears that it is to stop (SIGTERM and the like): calls
// `stop` from the event loop; `context` owns whatever it sets up. False, with
// the reason, when it cannot.
using TerminationHook = std::function<bool(QObject *context, std::function<void()> stop, QString *error)>;

// koru-bridge from its arguments to its exit status.
int runBridge(int argc, char *argv[], const TerminationHook &onTermination);

} // namespace koru::bridge
