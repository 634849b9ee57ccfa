#pragma once

#include <QProxyStyle>

namespace koru::layout {

// Fusion, except for push buttons, which are drawn the way the panel was
// designed: a flat face in the button's own colour (Fusion would lighten and
// desaturate it, turning the orange SELECT key pale) inside a classic raised
// bevel, and a caption that breaks onto a second line when it is wider than
// the button ("DISPLAY CLEAR", the Japanese captions of the monitor toggle)
// instead of being cut at both sides.
class PanelStyle : public QProxyStyle
{
public:
    PanelStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    QRect subElementRect(SubElement element, const QStyleOption *option,
                         const QWidget *widget = nullptr) const override;
};

} // namespace koru::layout
