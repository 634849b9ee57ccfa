#include "layout/panelbuilder.h"

#include "layout/controlfactory.h"
#include "layout/controlgeometry.h"
#include "layout/controlinventory.h"
#include "layout/panelfonts.h"
#include "layout/panellook.h"

#include <QHash>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace koru::layout {

namespace {

// Chains the focusable controls in the order of their tab indexes. The
// first of them keeps its place right after the window in the focus chain,
// so it is the control that receives the focus when the window opens.
void applyTabOrder(std::vector<std::pair<int, QWidget *>> stops)
{
    std::stable_sort(stops.begin(), stops.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1].second, stops[i].second);
}

} // namespace

void buildPanel(QWidget *window)
{
    QPalette ground = window->palette();
    ground.setColor(QPalette::Window, QColor(kPanelGrey));
    window->setPalette(ground);
    window->setAutoFillBackground(true);
    window->setFont(windowFont());

    QHash<QString, QWidget *> containers{{QString::fromLatin1(kWindowContainer), window}};
    std::vector<std::pair<int, QWidget *>> tabStops;

    for (const ControlEntry &entry : controlInventory()) {
        QWidget *container = containers.value(QString::fromLatin1(entry.container));
        if (!container)
            qFatal("Control %s lies in %s, which is not built before it", entry.name, entry.container);

        QWidget *control = createControl(entry, container);
        control->setObjectName(QString::fromLatin1(entry.name));
        control->setAccessibleName(QString::fromUtf8(entry.accessibleName));
        control->setGeometry(pixelRect(entry));
        // Explicitly, so that a hidden control stays hidden when the window
        // shows and a shown one is shown even if the window already is.
        control->setVisible(entry.shown);

        if (entry.kind == ControlKind::Frame)
            containers.insert(control->objectName(), control);
        if (entry.tabIndex >= 0 && (control->focusPolicy() & Qt::TabFocus))
            tabStops.emplace_back(entry.tabIndex, control);
    }
    applyTabOrder(std::move(tabStops));
}

} // namespace koru::layout
