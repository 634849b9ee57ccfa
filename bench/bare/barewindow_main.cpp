// The yardstick for start-up and footprint: a bare Qt window with 48 push
// buttons and nothing else, watched by the same first-paint probe as the panel.
#include "probe/firstpaint.h"

#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    using namespace std::chrono_literals;
    QApplication app(argc, argv);
    auto *probe = new koru::bench::FirstPaintProbe(300ms, &app);
    probe->markStage("application");

    QWidget window;
    window.setWindowTitle(QStringLiteral("48 buttons"));
    window.setFixedSize(640, 460);
    for (int i = 0; i < 48; ++i) {
        auto *button = new QPushButton(QStringLiteral("Button %1").arg(i + 1), &window);
        button->setGeometry(10 + (i % 6) * 104, 10 + (i / 6) * 55, 96, 45);
    }
    window.show();
    probe->markStage("shown");
    return QApplication::exec();
}
