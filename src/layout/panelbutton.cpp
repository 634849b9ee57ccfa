#include "layout/panelbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace koru {

namespace {

// QAbstractButton repaints itself at once when it goes down or up, before it
// reports the click; on X11 each repaint also waits for the server. Holding
// the paint back until the handlers have run puts the command on the line
// first; the new look is painted on the next turn of the event loop.
class PaintAfterwards
{
public:
    explicit PaintAfterwards(QWidget *widget)
        : m_widget(widget)
        , m_wasEnabled(widget->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~PaintAfterwards() { m_widget->setUpdatesEnabled(m_wasEnabled); }
    PaintAfterwards(const PaintAfterwards &) = delete;
    PaintAfterwards &operator=(const PaintAfterwards &) = delete;

private:
    QWidget *m_widget;
    bool m_wasEnabled;
};

} // namespace

PanelButton::PanelButton(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void PanelButton::setHoldToRepeat(bool hold)
{
    m_holdToRepeat = hold;
}

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    const PaintAfterwards paintLater(this);
    if (!m_holdToRepeat) {
        QPushButton::mousePressEvent(event);
        return;
    }
    // Bypass QAbstractButton, which would react to the left button only and
    // turn the release into a click.
    setDown(true);
    event->accept();
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    const PaintAfterwards paintLater(this);
    if (!m_holdToRepeat) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    if (event->buttons() == Qt::NoButton)
        setDown(false);
    event->accept();
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void PanelButton::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_holdToRepeat) {
        QPushButton::mouseMoveEvent(event);
        return;
    }
    event->accept(); // a hold stays a hold wherever the pointer wanders
}

bool PanelButton::isActivationKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Select || key == Qt::Key_Return
        || key == Qt::Key_Enter;
}

void PanelButton::keyPressEvent(QKeyEvent *event)
{
    if (m_holdToRepeat && isActivationKey(event->key())) {
        event->ignore();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void PanelButton::keyReleaseEvent(QKeyEvent *event)
{
    if (m_holdToRepeat && isActivationKey(event->key())) {
        event->ignore();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

} // namespace koru
