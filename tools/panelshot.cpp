// Renders the real panel, talking to the built-in simulated projector, into
// PNG files for the README: the compact window and the full window after a
// status query. Run through tools/screenshots.sh.
#include "app/panelprogram.h"
#include "layout/panelbuilder.h"
#include "layout/panelbutton.h"
#include "panel/form1.h"
#include "panel/reporter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPixmap>
#include <QTextStream>

#include <cstdio>

namespace {

class PrintingReporter final : public koru::Reporter
{
public:
    void warn(QWidget *, const QString &, const QString &message) override
    {
        std::fprintf(stderr, "warning: %s\n", qPrintable(message));
    }
};

void settle(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s COMPACT.png FULL.png\n", argv[0]);
        return 2;
    }
    koru::layout::applyPanelLook(app);
    PrintingReporter reporter;
    koru::PanelSession session;
    koru::PanelOptions options;
    options.simulate = true;
    if (!koru::startPanel(options, reporter, session))
        return 1;
    koru::Form1 &form = *session.form;
    settle(300);
    if (!form.grab().save(QString::fromLocal8Bit(argv[1])))
        return 1;

    // Reveal the lower band as Ctrl+H does, ask for the status and catch the
    // decoded reply before the monitor clears.
    QKeyEvent ctrlH(QEvent::KeyPress, Qt::Key_H, Qt::ControlModifier, QStringLiteral("\x08"));
    QWidget *focused = QApplication::focusWidget();
    QApplication::sendEvent(focused ? focused : &form, &ctrlH);
    form.findChild<koru::PanelButton *>(QStringLiteral("Command44"))->click();
    settle(200);
    if (!form.grab().save(QString::fromLocal8Bit(argv[2])))
        return 1;
    return 0;
}
