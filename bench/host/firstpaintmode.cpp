#include "host/hostmodes.h"

#include "app/panelprogram.h"
#include "harness/benchpanel.h"
#include "layout/panelbuilder.h"
#include "panel/form1.h"
#include "probe/firstpaint.h"

#include <QApplication>

namespace koru::bench {

int runFirstPaint(const std::string &com1)
{
    using namespace std::chrono_literals;
    // The probe goes in before anything is built, so no paint can slip past.
    auto *probe = new FirstPaintProbe(300ms, qApp);
    probe->markStage("application");

    // What runPanel does between the command line and the event loop.
    QApplication::setApplicationName(QStringLiteral("koru-panel"));
    QApplication::setApplicationVersion(QStringLiteral(KORU_VERSION));
    layout::applyPanelLook(*qApp);
    probe->markStage("look");
    test::RecordingReporter reporter;
    echoWarnings(reporter);
    PanelSession session;
    PanelOptions options;
    options.com1 = QString::fromStdString(com1);
    if (!startPanel(options, reporter, session))
        return 1;
    probe->markStage("shown");
    return QApplication::exec();
}

} // namespace koru::bench
