#include "layout/panelstyle.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <qdrawutil.h>

namespace koru::layout {

namespace {

// The classic bevel: a light and a dark line on each side.
constexpr int kBevelWidth = 2;

bool isPushButtonOption(const QStyleOption *option)
{
    return qstyleoption_cast<const QStyleOptionButton *>(option) != nullptr;
}

} // namespace

PanelStyle::PanelStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

void PanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    if (element == PE_PanelButtonCommand && isPushButtonOption(option)) {
        const bool sunken = option->state & (State_Sunken | State_On);
        const QBrush face = option->palette.brush(QPalette::Button);
        qDrawWinButton(painter, option->rect, option->palette, sunken, &face);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void PanelStyle::drawControl(ControlElement element, const QStyleOption *option,
                             QPainter *painter, const QWidget *widget) const
{
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    if (element == CE_PushButtonLabel && button && button->icon.isNull()) {
        QRect area = button->rect;
        if (button->state & (State_Sunken | State_On))
            area.translate(1, 1); // the caption sinks with the face
        painter->save();
        painter->setClipRect(button->rect);
        painter->setPen(button->palette.color(QPalette::ButtonText));
        painter->drawText(area, Qt::AlignCenter | Qt::TextWordWrap, button->text);
        painter->restore();
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

QRect PanelStyle::subElementRect(SubElement element, const QStyleOption *option,
                                 const QWidget *widget) const
{
    if (element == SE_PushButtonContents && isPushButtonOption(option))
        return option->rect.adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);
    return QProxyStyle::subElementRect(element, option, widget);
}

} // namespace koru::layout
