#include "harness/benchpanel.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace koru::bench {

namespace {

std::unique_ptr<test::PanelFixture> shown(std::unique_ptr<test::PanelFixture> panel)
{
    echoWarnings(panel->reporter);
    for (const QString &message : std::as_const(panel->reporter.messages)) // from start-up
        std::fprintf(stderr, "panel warning: %s\n", message.toLocal8Bit().constData());
    if (panel->loaded && !panel->show())
        std::fprintf(stderr, "the panel window was not exposed; figures may lack painting\n");
    return panel;
}

} // namespace

void echoWarnings(test::RecordingReporter &reporter)
{
    reporter.onWarn = [](const QString &message) {
        std::fprintf(stderr, "panel warning: %s\n", message.toLocal8Bit().constData());
    };
}

std::unique_ptr<test::PanelFixture> startBenchPanel(const QString &com1Path)
{
    return shown(std::make_unique<test::PanelFixture>(com1Path));
}

PanelButton *requireButton(test::PanelFixture &panel, const char *name)
{
    PanelButton *found = panel.button(name);
    if (!found) {
        std::fprintf(stderr, "the panel has no button %s\n", name);
        std::abort();
    }
    return found;
}

void runEventLoopFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer stop;
    stop.setTimerType(Qt::PreciseTimer);
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, &loop, &QEventLoop::quit);
    stop.start(duration);
    loop.exec();
}

} // namespace koru::bench
