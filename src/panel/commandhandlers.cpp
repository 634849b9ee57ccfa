// The command buttons: one handler per kind of button, each reading its row of
// the catalogue, and the repeat tick.
#include "layout/panelbutton.h"
#include "layout/panellabel.h"
#include "panel/form1.h"

#include <QTimer>

namespace koru {

using namespace std::chrono_literals;

namespace {

QString commandText(const Command &command)
{
    return QString::fromLatin1(frame(command));
}

} // namespace

void Form1::wireCommands()
{
    connect(Timer1, &RepeatTimer::timeout, this, &Form1::Timer1_Timer);
    for (const Command &command : commandCatalogue()) {
        auto *button = control<PanelButton>(command.control);
        const Command *row = &command; // rows live as long as the program
        if (command.kind == CommandKind::OneShot) {
            connect(button, &QPushButton::clicked, this, [this, row] { commandClick(*row); });
            continue;
        }
        button->setHoldToRepeat(true);
        const bool arrow = command.kind == CommandKind::Arrow;
        connect(button, &PanelButton::mouseDown, this, [this, row, button, arrow] {
            m_heldButton = button;
            if (arrow)
                arrowMouseDown(*row);
            else
                holdMouseDown(*row);
        });
        connect(button, &PanelButton::mouseUp, this, [this, row, button] {
            if (!button->isHolding())
                m_heldButton = nullptr;
            holdMouseUp(*row);
        });
    }
}

void Form1::commandClick(const Command &command)
{
    SendText = commandText(command);
    if (!Hyouji(SendText, kSendMode))
        return;
    if (command.mode) {
        Timer1->setInterval(command.mode->timer1);
        ArrowMode = command.mode->arrowMode;
    }
}

void Form1::holdMouseDown(const Command &command)
{
    RepeatNumber = command.repeatNumber;
    SendText = commandText(command);
    if (!Hyouji(SendText, kSendMode))
        return;
    Timer1->setInterval(command.timing->t1);
    Timer2->setInterval(command.timing->t2);
    Timer4->setInterval(command.timing->t4);
    Timer1->start();
}

void Form1::arrowMouseDown(const Command &command)
{
    if (const std::optional<ArrowTiming> timing = arrowTiming(ArrowMode)) {
        Timer2->setInterval(timing->timer2);
        Timer4->setInterval(timing->timer4);
    }
    RepeatNumber = command.repeatNumber;
    SendText = commandText(command);
    if (!Hyouji(SendText, kSendMode))
        return;
    Timer1->start(); // at whatever period the last mode or hold button left
}

void Form1::holdMouseUp(const Command &command)
{
    RepeatNumber = 0;
    Timer1->stop();
    Timer2->stop(); // a reply wait still running ends without the no-reply text
    Timer4->start();
    Label11->setText(QString());
    Label12->setText(QString());
    Timer2->setInterval(kReplyWait);
    Timer4->setInterval(kMonitorClear);
    RecvText.clear();
    if (command.mode) {
        Timer1->setInterval(command.mode->timer1);
        ArrowMode = command.mode->arrowMode;
    }
}

void Form1::Timer1_Timer()
{
    if (RepeatNumber == 0)
        return;
    // A release that went astray (to another window, say) would leave the
    // command repeating with nobody holding the button.
    if (m_heldButton && !PanelButton::mouseStillDown()) {
        m_heldButton->endHold();
        return;
    }
    const char *code = repeatCode(RepeatNumber);
    if (!code)
        return;
    SendText = QString::fromLatin1(frame(QByteArrayView(code)));
    Hyouji(SendText, kSendMode);
}

} // namespace koru
