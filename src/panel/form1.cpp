#include "panel/form1.h"

#include "layout/panelbuilder.h"
#include "layout/panelbutton.h"
#include "layout/panellabel.h"
#include "layout/twips.h"
#include "panel/reporter.h"
#include "serial/mscomm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

namespace koru {

using namespace std::chrono_literals;

namespace {

QTimer *makeTimer(QObject *parent, const char *name, Millis interval, Qt::TimerType type)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(interval);
    timer->setTimerType(type);
    return timer;
}

} // namespace

Form1::Form1(Reporter &reporter, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
    , m_reporter(reporter)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(layout::kWindowTitle));
    setAccessibleName(QStringLiteral("Projector control panel"));

    layout::buildPanel(this);
    setHeight(kFullHeight);

    MSComm1 = new MSComm(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    // Timer1 must keep its exact period (down to 5 ms), and the two monitor
    // timers share its short intervals while an arrow repeats.
    Timer1 = new RepeatTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kRepeatAtStart);
    Timer2 = makeTimer(this, "Timer2", kReplyWait, Qt::PreciseTimer);
    // Precise: a coarse timer may tick up to 5 % early, which hid the port
    // panel a quarter of a second before its five seconds.
    Timer3 = makeTimer(this, "Timer3", 5000ms, Qt::PreciseTimer);
    Timer4 = makeTimer(this, "Timer4", kMonitorClear, Qt::PreciseTimer);

    Label11 = control<PanelLabel>("Label11");
    Label12 = control<PanelLabel>("Label12");
    Label25 = control<PanelLabel>("Label25");
    Command34 = control<PanelButton>("Command34");
    Frame8 = control<QFrame>("Frame8");
    Option1 = control<QRadioButton>("Option1");
    Option2 = control<QRadioButton>("Option2");
    Option3 = control<QRadioButton>("Option3");
    Option4 = control<QRadioButton>("Option4");

    connect(MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(MSComm1, &MSComm::openFinished, this, &Form1::portOpenFinished);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(Timer4, &QTimer::timeout, this, &Form1::Timer4_Timer);
    connect(control<PanelButton>("Command16"), &QPushButton::clicked, this, &Form1::Command16_Click);
    wireCommands();
    wireOperatorPanels();

    // Key preview: the window sees every key before the focused control does.
    qApp->installEventFilter(this);
}

Form1::~Form1()
{
    abandonOpen(); // the wait cursor is the application's: it must not outlive the window
}

void Form1::setHeight(double twips)
{
    m_outerHeight = twips;
    const double client = twips - layout::kBorderTopTwips - layout::kBorderSideTwips;
    setFixedSize(layout::twipsToPixels(layout::kClientWidthTwips),
                 std::max(0, layout::twipsToPixels(client)));
}

void Form1::setPosition(double left, double top)
{
    m_left = left;
    m_top = top;
    move(layout::twipsToPixels(left), layout::twipsToPixels(top));
}

QRectF Form1::screenGeometryTwips()
{
    // The primary screen, wherever it lies on the desktop: beside or above
    // another one its origin is not (0, 0).
    const QScreen *primary = QGuiApplication::primaryScreen();
    const QRect pixels = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
    return QRectF(layout::pixelsToTwips(pixels.x()), layout::pixelsToTwips(pixels.y()),
                  layout::pixelsToTwips(pixels.width()), layout::pixelsToTwips(pixels.height()));
}

// Single precision, halves kept, no clamping: a screen smaller than the
// window gives coordinates left of or above the screen, as the design
// intends.
QPointF Form1::centredPosition(QRectF screenTwips, QSizeF windowTwips)
{
    const float left = (float(screenTwips.width()) - float(windowTwips.width())) / 2.0f;
    const float top = (float(screenTwips.height()) - float(windowTwips.height())) / 2.0f;
    return QPointF(screenTwips.x() + double(left), screenTwips.y() + double(top));
}

void Form1::Form_Load()
{
    // Centred for the designed height, then shrunk to the compact panel with
    // the top edge left where it is.
    const QPointF centre = centredPosition(screenGeometryTwips(), QSizeF(layout::kOuterWidthTwips, Height()));
    setPosition(centre.x(), centre.y());
    setHeight(kCompactHeight);

    CommSettings = QLatin1String(kSettings19200);
    RepeatNumber = 0;
    ReplyWait = 0;
    RecvText.clear();

    // A failing step ends start-up: the operator is told why and the window
    // never shows.
    const auto fails = [this](const CommResult &step) {
        if (!step)
            m_reporter.warn(nullptr, windowTitle(), step.message());
        return !step;
    };
    if (fails(MSComm1->setCommPort(1)) || fails(MSComm1->setSettings(CommSettings))) {
        emit loadFinished(false);
        return;
    }
    m_loading = true;
    openPort(OpenPurpose::StartUp); // goes on in startUpOpened()
}

void Form1::startUpOpened(const CommResult &opened)
{
    if (!opened) {
        m_loading = false;
        m_reporter.warn(nullptr, windowTitle(), opened.message());
        emit loadFinished(false);
        return;
    }
    // Runs Option1_Click, as the operator's choice would; its end ends start-up.
    Option1->setChecked(true);
    m_optionJustMarked = nullptr; // marked by code: no click follows
}

void Form1::endAnyHold()
{
    if (m_heldButton)
        m_heldButton->endHold();
}

void Form1::Command16_Click()
{
    endAnyHold(); // before the timers stop: its release would start one
    abandonOpen();
    MSComm1->setPortOpen(false);
    m_ended = true;
    Timer1->stop();
    for (QTimer *timer : { Timer2, Timer3, Timer4 })
        timer->stop();
    disconnect(MSComm1, nullptr, this, nullptr);
    close();
    emit ended();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing through the window frame must release the port as END does.
    endAnyHold();
    abandonOpen();
    MSComm1->setPortOpen(false);
    Timer1->stop();
    for (QTimer *timer : { Timer2, Timer3, Timer4 })
        timer->stop();
    QWidget::closeEvent(event);
}

void Form1::reportFailure(const QString &message)
{
    m_reporter.warn(this, windowTitle(), message);
}

bool Form1::isKeyPreviewTarget(QObject *watched) const
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return false;
    // A key travels from the focused control up through its parents; preview
    // it once, at the first stop.
    const QWidget *focus = QApplication::focusWidget();
    if (focus && focus->window() == this)
        return widget == focus;
    return widget == this;
}

// A press or a key meant for this window. Releases still pass, so that a
// button that went down before the open started comes up again.
bool Form1::isOperatorInput(QObject *watched, const QEvent *event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel: {
        const auto *widget = qobject_cast<QWidget *>(watched);
        return widget && widget->window() == this;
    }
    default:
        return false;
    }
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // While the wait cursor is up the panel is busy: what the operator does
    // meanwhile is not kept for later, when it would act on another state.
    if (m_pendingOpen != OpenPurpose::None && isOperatorInput(watched, event))
        return true;
    if (event->type() == QEvent::KeyPress && !m_ended && isKeyPreviewTarget(watched)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        int shift = 0;
        if (key->modifiers() & Qt::ShiftModifier)
            shift |= 1;
        if (key->modifiers() & Qt::ControlModifier)
            shift |= 2;
        if (key->modifiers() & Qt::AltModifier)
            shift |= 4;
        Form_KeyDown(key->key(), shift);
    }
    return false; // the key goes on to the focused control
}

} // namespace koru
