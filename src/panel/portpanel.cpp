// The port and speed panel.
#include "layout/panelbutton.h"
#include "panel/form1.h"
#include "panel/openfailuremessage.h"
#include "serial/mscomm.h"

#include <QApplication>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <utility>

namespace koru {

void Form1::wireOperatorPanels()
{
    // An option's handler runs when it becomes marked, by a click or by code.
    const auto onMarked = [this](QRadioButton *option, void (Form1::*handler)()) {
        connect(option, &QRadioButton::toggled, this, [this, option, handler](bool marked) {
            if (!marked)
                return;
            m_optionJustMarked = option;
            (this->*handler)();
        });
    };
    onMarked(Option1, &Form1::Option1_Click);
    onMarked(Option2, &Form1::Option2_Click);
    onMarked(Option3, &Form1::Option3_Click);
    onMarked(Option4, &Form1::Option4_Click);
    // Clicking the port that is already marked changes no mark, so by itself
    // it would do nothing; but while the port is closed (the adapter was
    // pulled and plugged in again, or the last try failed) the operator's
    // click on it is the way back, so it runs the port choice once more.
    const auto onReclick = [this](QRadioButton *option, void (Form1::*handler)()) {
        connect(option, &QRadioButton::clicked, this, [this, option, handler] {
            if (std::exchange(m_optionJustMarked, nullptr) == option)
                return; // this click marked it: its handler has run
            if (!MSComm1->portOpen())
                (this->*handler)();
        });
    };
    onReclick(Option1, &Form1::Option1_Click);
    onReclick(Option2, &Form1::Option2_Click);
    connect(control<QPushButton>("Command33"), &QPushButton::clicked, this, &Form1::Command33_Click);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(Command34, &QPushButton::clicked, this, &Form1::Command34_Click);
}

void Form1::Option1_Click() { portChoice(1, 2); }
void Form1::Option2_Click() { portChoice(2, 1); }
void Form1::Option3_Click() { speedChoice(QLatin1String(kSettings19200)); }
void Form1::Option4_Click() { speedChoice(QLatin1String(kSettings9600)); }

void Form1::portChoice(int chosen, int other)
{
    abandonOpen(); // a new choice replaces one whose port has not answered yet
    // A failing step is recorded and the next one still runs; the operator
    // sees the most recent failure.
    QString failure;
    const auto record = [&failure](const CommResult &step) {
        if (!step)
            failure = step.message();
    };
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    record(MSComm1->setCommPort(chosen));
    // Open whenever nothing failed, even if the port was closed before (a
    // failed choice, a lost line): choosing a port is how the operator brings
    // the panel back once the device is there again.
    if (failure.isEmpty()) {
        m_otherPort = other;
        openPort(OpenPurpose::PortChoice); // goes on in endPortChoice()
        return;
    }
    endPortChoice(CommResult::failure(failure), other);
}

void Form1::endPortChoice(const CommResult &outcome, int other)
{
    if (!outcome) {
        reportFailure(outcome.message());
        (void)MSComm1->setCommPort(other);
    } else {
        Frame8->hide();
    }
    if (std::exchange(m_loading, false))
        emit loadFinished(true); // start-up's own port choice is over
}

void Form1::openPort(OpenPurpose purpose)
{
    m_pendingOpen = purpose;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    MSComm1->setPortOpen(true);
}

void Form1::portOpenFinished(const CommResult &opened)
{
    const OpenPurpose purpose = std::exchange(m_pendingOpen, OpenPurpose::None);
    if (purpose == OpenPurpose::None)
        return; // an open the panel did not ask for
    QApplication::restoreOverrideCursor();
    const CommResult worded = opened.openFailure()
        ? CommResult::failure(openFailureMessage(*opened.openFailure(), purpose == OpenPurpose::StartUp))
        : opened;
    if (purpose == OpenPurpose::StartUp)
        startUpOpened(worded);
    else
        endPortChoice(worded, m_otherPort);
}

void Form1::abandonOpen()
{
    if (std::exchange(m_pendingOpen, OpenPurpose::None) == OpenPurpose::None)
        return;
    QApplication::restoreOverrideCursor();
    MSComm1->setPortOpen(false);
    m_loading = false;
}

void Form1::speedChoice(const QString &settings)
{
    CommSettings = settings;
    if (const CommResult applied = MSComm1->setSettings(CommSettings); !applied)
        reportFailure(applied.message());
    Frame8->hide();
}

void Form1::Command33_Click()
{
    Frame8->show();
    Frame8->raise(); // it covers the COM button while shown
    Timer3->start();
}

void Form1::Timer3_Timer()
{
    Frame8->hide();
    Timer3->stop();
}

} // namespace koru
