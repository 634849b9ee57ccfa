#include "harness/benchpanel.h"

#include "layout/panelbuilder.h"
#include "layout/panelbutton.h"
#include "panel/form1.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace koru::bench {

BenchPanel::BenchPanel(const std::string &com1Path)
{
    static bool lookApplied = false;
    if (!lookApplied) {
        layout::applyPanelLook(*qApp);
        lookApplied = true;
    }
    PanelOptions options;
    options.com1 = QString::fromStdString(com1Path);
    options.com2 = QStringLiteral("/dev/koru-bench-no-com2");
    m_started = startPanel(options, m_reporter, m_session);
    if (m_started && !QTest::qWaitForWindowExposed(m_session.form.get()))
        std::fprintf(stderr, "the panel window was not exposed; figures may lack painting\n");
}

BenchPanel::~BenchPanel() = default;

PanelButton *BenchPanel::button(const char *name)
{
    auto *found = m_session.form->findChild<PanelButton *>(QLatin1String(name));
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
