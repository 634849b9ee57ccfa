#pragma once

#include <QPoint>
#include <QPushButton>

namespace koru {

// A push button of the panel. Ordinary buttons click as any QPushButton does.
// A hold-to-repeat button acts on the mouse alone: every mouse button, with
// any modifiers, reports its press and its release, and the keyboard cannot
// activate it, because a press from the keyboard has no release the operator
// can feel and would start a repetition nobody is holding.
class PanelButton : public QPushButton
{
    Q_OBJECT

public:
    explicit PanelButton(QWidget *parent = nullptr);

    bool holdToRepeat() const { return m_holdToRepeat; }
    void setHoldToRepeat(bool hold);

    // From the press of a hold until its release, or until the hold ends
    // because the button lost the mouse.
    bool isHolding() const { return m_holding; }
    // Ends a hold as its release would: the button comes up and mouseUp is
    // reported once; a release that still comes later is ignored. For the
    // times the real release will never reach the button: the window lost
    // the mouse to another window or a modal box, or the button was hidden
    // or disabled.
    void endHold();
    // Whether the application still sees a mouse button down. False while
    // holding means the release went somewhere else.
    static bool mouseStillDown();

signals:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    static bool isActivationKey(int key);

    bool m_holdToRepeat = false;
    bool m_holding = false;
};

} // namespace koru
