#include "bridge/bridgeprogram.h"
#include "sim/terminationsignals.h"

int main(int argc, char *argv[])
{
    return koru::bridge::runBridge(argc, argv, [](QObject *context, std::function<void()> stop, QString *error) {
        auto *termination = new koru::sim::TerminationSignals(context);
        QObject::connect(termination, &koru::sim::TerminationSignals::received, context, [stop](int) { stop(); });
        return termination->install(error);
    });
}
