// Ctrl+H reveals the lower band; the toggle button then opens and closes it.
#include "layout/panelbutton.h"
#include "panel/form1.h"

#include <QTimer>

namespace koru {

namespace {
constexpr int kKeyH = 72;
constexpr int kCtrlAlone = 2;
constexpr int kShiftCtrlAlt = 7;
} // namespace

void Form1::Form_KeyDown(int keyCode, int shift)
{
    if ((shift & kShiftCtrlAlt) != kCtrlAlone || keyCode != kKeyH)
        return;
    setHeight(kFullHeight);
    Command34->setText(QStringLiteral("CLOSE"));
    Command34->show();
}

void Form1::Command34_Click()
{
    Timer3->stop();
    // Decided by the height alone; the caption names what the next click does.
    if (Height() < kMonitorThreshold) {
        setHeight(kMonitorHeight);
        Command34->setText(QStringLiteral("データを表示しない"));
    } else {
        setHeight(kCompactHeight);
        Command34->setText(QStringLiteral("データを表示する"));
    }
    Timer3->start(); // the port panel, if shown, hides five seconds from now
}

} // namespace koru
