#include "layout/controlfactory.h"

#include "layout/panelbutton.h"
#include "layout/panelfonts.h"
#include "layout/panellabel.h"
#include "layout/panellook.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>

namespace koru::layout {

namespace {

Qt::Alignment toQt(TextAlign align)
{
    switch (align) {
    case TextAlign::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case TextAlign::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case TextAlign::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

// Paints the widget's whole rectangle in its ground colour.
void fillGround(QWidget *widget, const char *ground)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, inventoryColour(ground, palette.color(QPalette::Window)));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QWidget *createFrame(const ControlEntry &entry, QWidget *parent)
{
    auto *frame = new QFrame(parent);
    // A one-pixel box drawn sunken is the etched groove of a classic group box.
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setMidLineWidth(0);
    fillGround(frame, entry.ground);
    return frame;
}

QWidget *createLabel(const ControlEntry &entry, QWidget *parent)
{
    auto *label = new PanelLabel(parent);
    label->setFont(panelFont(entry.font));
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, inventoryColour(entry.ground, palette.color(QPalette::Window)));
    palette.setColor(QPalette::WindowText,
                     inventoryColour(entry.text, palette.color(QPalette::ButtonText)));
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    label->setAlignment(toQt(entry.align));
    if (entry.border == Border::Single) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    }
    label->setText(QString::fromUtf8(entry.caption));
    return label;
}

QWidget *createPushButton(const ControlEntry &entry, QWidget *parent)
{
    auto *button = new PanelButton(parent);
    button->setText(QString::fromUtf8(entry.caption));
    button->setFont(panelFont(entry.font));
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, inventoryColour(entry.ground, palette.color(QPalette::Button)));
    palette.setColor(QPalette::ButtonText,
                     inventoryColour(entry.text, palette.color(QPalette::ButtonText)));
    button->setPalette(palette);
    return button;
}

QWidget *createOptionButton(const ControlEntry &entry, QWidget *parent)
{
    // Auto-exclusivity makes the option buttons that share a parent one group.
    auto *option = new QRadioButton(QString::fromUtf8(entry.caption), parent);
    option->setFont(panelFont(entry.font));
    fillGround(option, entry.ground);
    QPalette palette = option->palette();
    palette.setColor(QPalette::WindowText,
                     inventoryColour(entry.text, palette.color(QPalette::ButtonText)));
    option->setPalette(palette);
    option->setChecked(entry.selected);
    return option;
}

QWidget *createLine(const ControlEntry &entry, QWidget *parent)
{
    auto *line = new QWidget(parent);
    fillGround(line, entry.ground);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    return line;
}

QWidget *createPicture(const ControlEntry &, QWidget *parent)
{
    auto *picture = new QLabel(parent);
    picture->setPixmap(QPixmap(QString::fromLatin1(kLogoResource)));
    picture->setFrameStyle(QFrame::NoFrame);
    picture->setContentsMargins(0, 0, 0, 0);
    return picture;
}

} // namespace

QWidget *createControl(const ControlEntry &entry, QWidget *parent)
{
    switch (entry.kind) {
    case ControlKind::Frame:
        return createFrame(entry, parent);
    case ControlKind::Label:
        return createLabel(entry, parent);
    case ControlKind::PushButton:
        return createPushButton(entry, parent);
    case ControlKind::OptionButton:
        return createOptionButton(entry, parent);
    case ControlKind::Line:
        return createLine(entry, parent);
    case ControlKind::Picture:
        return createPicture(entry, parent);
    }
    return nullptr;
}

} // namespace koru::layout
