#include "layout/panelbutton.h"

#include <QGuiApplication>
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

void PanelButton::endHold()
{
    if (!m_holding)
        return;
    m_holding = false;
    setDown(false);
    emit mouseUp(Qt::NoButton, QGuiApplication::keyboardModifiers(), QPoint());
}

bool PanelButton::mouseStillDown()
{
    return QGuiApplication::mouseButtons() != Qt::NoButton;
}

bool PanelButton::event(QEvent *event)
{
    switch (event->type()) {
    // Each of these means the release will go elsewhere or nowhere: another
    // window or a modal box has the mouse now, or the button cannot take
    // mouse events any more.
    case QEvent::WindowDeactivate:
    case QEvent::WindowBlocked:
    case QEvent::FocusOut:
    case QEvent::Hide:
    case QEvent::UngrabMouse:
        endHold();
        break;
    default:
        break;
    }
    return QPushButton::event(event);
}

void PanelButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        endHold(); // a disabled button never sees its release
    QPushButton::changeEvent(event);
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
    m_holding = true;
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
    event->accept();
    if (!m_holding)
        return; // the hold has already ended without it
    if (event->buttons() == Qt::NoButton) {
        m_holding = false;
        setDown(false);
    }
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
