#pragma once

#include "layout/panelbuilder.h"
#include "panel/repeattimer.h"
#include "protocol/catalogue.h"
#include "protocol/rendering.h"
#include "protocol/trafficlog.h"
#include "serial/commresult.h"

#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

class QFrame;
class QRadioButton;
class QTimer;

namespace koru {

class MSComm;
class PanelButton;
class PanelLabel;
class Reporter;

// The panel's one window. Its state is the handful of form variables below,
// which every handler reads and writes directly; every behaviour is a handler
// named after its control and event, and all of them run one at a time on the
// GUI thread.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(Reporter &reporter, QWidget *parent = nullptr);
    ~Form1() override;

    // The receive buffer never grows past what the monitor can render; what
    // arrives beyond it is dropped until the buffer is emptied.
    static constexpr qsizetype kRecvTextCap = 32767;
    static constexpr quint8 kSendMode = 1;

    // Outer heights in twips: the compact panel, with the data monitor, and
    // everything (the design height). The toggle opens the monitor below the
    // threshold and closes it at or above.
    static constexpr double kCompactHeight = 5200;
    static constexpr double kMonitorHeight = 6645;
    static constexpr double kFullHeight = layout::kOuterHeightTwips;
    static constexpr double kMonitorThreshold = 6000;
    static constexpr quint8 kDisplayMode = 2;

    // Form variables.
    quint8 RepeatNumber = 0;
    quint8 ReplyWait = 0;
    quint8 ArrowMode = 0;
    QString CommSettings;
    QString SendText;
    QString RecvText;

    // Controls without a visible form.
    MSComm *MSComm1 = nullptr;
    RepeatTimer *Timer1 = nullptr; // repeats the held button's command, to the microsecond
    QTimer *Timer2 = nullptr; // reply wait
    QTimer *Timer3 = nullptr; // hides the port panel
    QTimer *Timer4 = nullptr; // empties the monitor and status lines

    // The transcript of the line's traffic, when the program was asked for one.
    TrafficLog *trafficLog = nullptr;

    // The controls the handlers change.
    PanelLabel *Label11 = nullptr; // TXD line
    PanelLabel *Label12 = nullptr; // RXD line
    PanelLabel *Label25 = nullptr; // STATUS line
    PanelButton *Command34 = nullptr;
    QFrame *Frame8 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QRadioButton *Option3 = nullptr;
    QRadioButton *Option4 = nullptr;

    // Window geometry in twips. Heights are outer heights: the client area is
    // always the outer height less the design's 375 twips of border, whatever
    // the window manager draws, so a given height always shows the same part
    // of the panel.
    double Height() const { return m_outerHeight; }
    void setHeight(double twips);
    double Left() const { return m_left; }
    double Top() const { return m_top; }
    void setPosition(double left, double top);
    // The primary screen's place and size on the desktop in twips, as
    // start-up centres against it.
    static QRectF screenGeometryTwips();
    static QPointF centredPosition(QRectF screenTwips, QSizeF windowTwips);

    // Start-up. It opens the port and ends in loadFinished(): before it
    // returns on a device; on a gateway, which may take up to three seconds
    // to answer, from the event loop, which meanwhile runs on.
    void Form_Load();
    void Command16_Click(); // END

    // Send routine and data monitor.
    bool Hyouji(const QString &text, quint8 mode);
    void MSComm1_OnComm();
    void Timer2_Timer();
    void Timer4_Timer();

    // Command buttons: one handler per kind, reading the button's row.
    void commandClick(const Command &command);
    void holdMouseDown(const Command &command);
    void arrowMouseDown(const Command &command);
    void holdMouseUp(const Command &command);
    void Timer1_Timer();

    // Port and speed panel.
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Command33_Click();
    void Timer3_Timer();

    // Data monitor reveal and toggle.
    void Form_KeyDown(int keyCode, int shift);
    void Command34_Click();

signals:
    // Start-up is over. False when the port could not be opened: the failure
    // has been reported and the window must not be shown.
    void loadFinished(bool opened);
    // END was pressed: the program is over.
    void ended();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A control the layout built, by its name.
    template <typename T>
    T *control(const char *name)
    {
        T *found = findChild<T *>(QLatin1String(name));
        Q_ASSERT_X(found, "Form1::control", name);
        return found;
    }
    void wireCommands();
    void wireOperatorPanels();
    // What an open in progress is for: its outcome goes on with that.
    enum class OpenPurpose { None, StartUp, PortChoice };
    void portChoice(int chosen, int other);
    void endPortChoice(const CommResult &outcome, int other);
    void startUpOpened(const CommResult &opened);
    // Starts opening MSComm1 with the wait cursor up: a network port may take
    // up to three seconds to answer. Until it has, the window takes no
    // presses or keys; portOpenFinished() goes on with `purpose`.
    void openPort(OpenPurpose purpose);
    void portOpenFinished(const CommResult &opened);
    // Drops an open still in progress, and its wait cursor.
    void abandonOpen();
    bool isOperatorInput(QObject *watched, const QEvent *event) const;
    void speedChoice(const QString &settings);
    void reportFailure(const QString &message);
    bool isKeyPreviewTarget(QObject *watched) const;
    void endAnyHold();
    void logTraffic(TrafficDirection direction, const QString &text) const;

    Reporter &m_reporter;
    IncrementalRenderer m_rxdRenderer;
    quint64 m_rxdRevision = 0; // of the RXD line, as the last display left it
    // The first characters received since the latest send: the reply the
    // decoding reads. Eight are more than the longest prefix it compares
    // (eight rendered characters, from at most four received ones).
    static constexpr qsizetype kReplyHeadLength = 8;
    QString m_replySinceSend;
    QPointer<PanelButton> m_heldButton; // while a hold-to-repeat button is down
    QRadioButton *m_optionJustMarked = nullptr; // by the click being handled
    double m_outerHeight = 0;
    double m_left = 0;
    double m_top = 0;
    bool m_ended = false;
    OpenPurpose m_pendingOpen = OpenPurpose::None;
    int m_otherPort = 0;   // the port choice in progress falls back to it
    bool m_loading = false; // from Form_Load until loadFinished()
};

} // namespace koru
