// The send routine, the receive handler and the two monitor timers.
#include "layout/panellabel.h"
#include "panel/form1.h"
#include "protocol/replydecoding.h"
#include "protocol/replyreading.h"
#include "serial/mscomm.h"

#include <QTimer>

namespace koru {

bool Form1::Hyouji(const QString &text, quint8 mode)
{
    if (mode == kSendMode) {
        // The frame goes out before anything is shown; a failed write leaves
        // the monitor, the timers and ReplyWait as they were.
        if (const CommResult sent = MSComm1->setOutput(text); !sent) {
            // A repetition must not outlive a failed send: it would warn again
            // at every tick. The warning box takes the mouse, so the release
            // never reaches the held button: end the hold here as the release
            // would, before the box goes up, or the hold's short reply-wait
            // and clear intervals would stay for every later command.
            RepeatNumber = 0;
            Timer1->stop();
            endAnyHold();
            reportFailure(sent.message());
            return false;
        }
        logTraffic(TrafficDirection::Sent, text);
        Label11->setText(renderText(text));
        m_replySinceSend.clear(); // what is still in the buffer answered an earlier command
        // Enabling a running timer restarts its count, so the reply wait and
        // the monitor clear always measure from the latest transmission: a
        // reply is never declared missing, nor a line emptied, moments after a
        // fresh send.
        Timer2->start();
        ReplyWait = 1;
        Timer4->start();
        return true;
    }

    // The buffer mostly grows between two displays: append the new tokens to
    // the RXD line rather than render and copy the whole buffer again, as
    // long as the line still shows what the last display put there.
    const RenderUpdate rendered = m_rxdRenderer.update(text);
    if (rendered.whole)
        Label12->setText(rendered.text);
    else if (Label12->revision() == m_rxdRevision)
        Label12->appendText(rendered.text);
    else
        Label12->setText(renderText(text));
    m_rxdRevision = Label12->revision();
    // The RXD line shows the whole buffer, late characters of an earlier
    // reply included, but only what came after the latest send can answer
    // the query in SendText.
    if (const std::optional<QString> status = decodeReply(SendText, renderText(m_replySinceSend)))
        Label25->setText(*status);
    return true;
}

void Form1::MSComm1_OnComm()
{
    const qint16 event = MSComm1->commEvent();
    if (event != MSComm::comEvReceive)
        return; // line events and errors change nothing on screen
    const QString received = MSComm1->input();
    logTraffic(TrafficDirection::Received, received);
    const qsizetype room = kRecvTextCap - RecvText.size();
    if (room > 0)
        RecvText += QStringView(received).left(room);
    const qsizetype headRoom = kReplyHeadLength - m_replySinceSend.size();
    if (headRoom > 0)
        m_replySinceSend += QStringView(received).left(headRoom);
    ReplyWait = 0;
    Hyouji(RecvText, kDisplayMode);
}

void Form1::logTraffic(TrafficDirection direction, const QString &text) const
{
    if (!trafficLog)
        return;
    const QString port = MSComm1->devicePath(MSComm1->commPort());
    if (direction == TrafficDirection::Sent)
        trafficLog->sent(port, text.toLatin1());
    else
        trafficLog->received(port, text.toLatin1());
}

void Form1::Timer2_Timer()
{
    if (ReplyWait == 1)
        Label12->setText(QLatin1String(kNoReplyText));
    Timer2->stop();
    RecvText.clear();
    ReplyWait = 0;
}

void Form1::Timer4_Timer()
{
    Label11->setText(QString());
    Label12->setText(QString());
    Label25->setText(QString());
    Timer4->stop();
}

} // namespace koru
