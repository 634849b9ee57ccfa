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

signals:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    static bool isActivationKey(int key);

    bool m_holdToRepeat = false;
};

} // namespace koru
