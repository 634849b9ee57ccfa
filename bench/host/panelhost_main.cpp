// The panel as a process of its own, for the benchmarks that must measure the
// panel alone (its CPU, its memory, its start-up): the real start-up on a
// given COM1, plus one measurement chosen on the command line.
//
//   koru-bench-panelhost --com1 PATH --first-paint
//   koru-bench-panelhost --com1 PATH --probe SECONDS [--hold CommandN]
//   koru-bench-panelhost --com1 PATH --idle SECONDS
#include "host/hostmodes.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char *argv[])
{
    std::string com1;
    std::string mode;
    std::string hold;
    long seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--com1") && hasValue)
            com1 = argv[++i];
        else if (!std::strcmp(argv[i], "--first-paint"))
            mode = "first-paint";
        else if ((!std::strcmp(argv[i], "--probe") || !std::strcmp(argv[i], "--idle")) && hasValue) {
            mode = argv[i] + 2;
            seconds = std::strtol(argv[++i], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--hold") && hasValue)
            hold = argv[++i];
    }
    if (com1.empty() || mode.empty() || (mode != "first-paint" && seconds <= 0)) {
        std::fprintf(stderr, "usage: koru-bench-panelhost --com1 PATH (--first-paint | --probe S [--hold CommandN]"
                             " | --idle S)\n");
        return 2;
    }

    QApplication app(argc, argv);
    if (mode == "first-paint")
        return koru::bench::runFirstPaint(com1);
    if (mode == "probe")
        return koru::bench::runProbe(com1, std::chrono::seconds(seconds), hold);
    return koru::bench::runIdle(com1, std::chrono::seconds(seconds));
}
