#include "host/hostmodes.h"

#include "common/stats.h"
#include "harness/benchpanel.h"
#include "layout/panelbutton.h"
#include "panel/form1.h"
#include "probe/clock.h"
#include "serial/mscomm.h"
#include "support/latenessprobe.h"
#include "support/probes.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <string>

namespace koru::bench {

int runProbe(const std::string &com1, std::chrono::seconds duration, const std::string &holdButton)
{
    using namespace std::chrono_literals;
    using test::processCpuTime;
    using test::residentKiB;
    const auto panel = startBenchPanel(QString::fromStdString(com1));
    if (!panel->loaded)
        return 1;
    Form1 &form = *panel->form;
    long long notifications = 0;
    QObject::connect(form.MSComm1, &MSComm::OnComm, qApp, [&notifications] { ++notifications; });

    runEventLoopFor(1s); // start-up settles; the flood is already arriving
    PanelButton *held = holdButton.empty() ? nullptr : requireButton(*panel, holdButton.c_str());
    if (held)
        QTest::mousePress(held, Qt::LeftButton);

    // Two windows of `duration` each. In the first nothing of ours wakes the
    // event loop (the resident-size sampler aside, every five seconds), so
    // its CPU time is the panel's own; the probe timer, which wakes the loop
    // a hundred times a second, runs only in the second.
    std::printf("measuring=1\n"); // the driver samples the far end's counters now
    std::fflush(stdout);
    const long long notificationsBefore = notifications;
    const std::int64_t rssBefore = residentKiB();
    const std::chrono::nanoseconds cpuBefore = processCpuTime();
    const Clock::time_point wallBefore = Clock::now();
    // The resident size every five seconds: growth that stops (buffers
    // reaching their size) tells apart from growth that goes on.
    std::string rssTrace = std::to_string(rssBefore);
    auto *rssSampler = new QTimer(qApp);
    QObject::connect(rssSampler, &QTimer::timeout, qApp,
                     [&rssTrace] { rssTrace += "," + std::to_string(residentKiB()); });
    rssSampler->start(5s);

    runEventLoopFor(duration);

    rssSampler->stop();
    const std::chrono::nanoseconds cpuAfter = processCpuTime();
    const Clock::time_point wallAfter = Clock::now();
    const std::int64_t rssAfter = residentKiB();
    const long long notificationsAfter = notifications;
    std::printf("phase=probe\n");
    std::fflush(stdout);

    auto *probe = new test::LatenessProbe(10ms, qApp);
    const std::chrono::nanoseconds probeCpuBefore = processCpuTime();
    probe->start();
    runEventLoopFor(duration);
    probe->stop();
    const std::chrono::nanoseconds probeCpuAfter = processCpuTime();
    if (held)
        QTest::mouseRelease(held, Qt::LeftButton);

    using Ms = std::chrono::duration<double, std::milli>;
    const Summary late = summarize(probe->latenessMs());
    std::printf("wall_ms=%.1f\ncpu_ms=%.1f\nrss_before_kib=%lld\nrss_after_kib=%lld\n"
                "late_p50_ms=%.3f\nlate_p99_ms=%.3f\nlate_max_ms=%.3f\nprobe_ticks=%zu\n"
                "cpu_with_probe_ms=%.1f\nnotifications=%lld\nrecv_text_chars=%lld\nwarnings=%d\n"
                "rss_trace_kib=%s\n",
                Ms(wallAfter - wallBefore).count(), Ms(cpuAfter - cpuBefore).count(),
                static_cast<long long>(rssBefore), static_cast<long long>(rssAfter), late.p50, late.p99, late.max,
                late.count, Ms(probeCpuAfter - probeCpuBefore).count(), notificationsAfter - notificationsBefore,
                static_cast<long long>(form.RecvText.size()), panel->reporter.count(), rssTrace.c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace koru::bench
