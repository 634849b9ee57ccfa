#include "probe/firstpaint.h"

#include "probe/clock.h"
#include "support/probes.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>

namespace koru::bench {

FirstPaintProbe::FirstPaintProbe(std::chrono::milliseconds settle, QObject *parent)
    : QObject(parent)
    , m_settle(settle)
{
    QCoreApplication::instance()->installEventFilter(this);
}

void FirstPaintProbe::markStage(const std::string &name)
{
    m_stages.emplace_back(name, monotonicNs());
}

bool FirstPaintProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (m_firstPaintNs == 0 && event->type() == QEvent::Paint && watched->isWidgetType()) {
        m_firstPaintNs = monotonicNs();
        QCoreApplication::instance()->removeEventFilter(this);
        QTimer::singleShot(m_settle, this, [this] { report(); });
    }
    return false;
}

void FirstPaintProbe::report()
{
    std::printf("first_paint_ns=%lld\nrss_kib=%lld\n", static_cast<long long>(m_firstPaintNs),
                static_cast<long long>(test::residentKiB()));
    for (const auto &[name, ns] : m_stages)
        std::printf("stage_%s_ns=%lld\n", name.c_str(), static_cast<long long>(ns));
    std::fflush(stdout);
    QCoreApplication::quit();
}

} // namespace koru::bench
