#pragma once

#include "app/panelprogram.h"
#include "layout/panelbuilder.h"
#include "layout/panelbutton.h"
#include "layout/panellabel.h"
#include "panel/form1.h"
#include "serial/mscomm.h"
#include "sim/projectorsim.h"
#include "support/pty.h"
#include "support/recordingreporter.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <memory>

namespace koru::test {

// A started panel, as the suites, the monkey test and the benchmarks need it.
// COM1 is one of three lines:
//  - PanelFixture(): `pty`, a bare pseudo-terminal whose far end the test holds;
//  - PanelFixture(SimOptions): the simulated projector, started here (sim());
//  - PanelFixture(path): a device held elsewhere (a link, another process's line).
// COM2 is `secondPath`, a device that does not exist unless a test names one.
// The window is not shown unless show() is called.
struct PanelFixture
{
    PanelFixture();
    explicit PanelFixture(const sim::SimOptions &options);
    explicit PanelFixture(const QString &com1Path);
    ~PanelFixture();
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    PanelButton *button(const char *name) const
    {
        return form->findChild<PanelButton *>(QLatin1String(name));
    }

    // Sends through the same path a button does.
    bool send(const char *code)
    {
        form->SendText = QLatin1String(code) + QLatin1Char('\r');
        return form->Hyouji(form->SendText, Form1::kSendMode);
    }

    bool anyTimerActive() const
    {
        return form->Timer1->isActive() || form->Timer2->isActive() || form->Timer3->isActive()
            || form->Timer4->isActive();
    }

    // Shows the window as the program does and waits until it is exposed.
    bool show();

    // Until the reply wait and the monitor clear have both run out: the
    // receive buffer and all three lines are empty, so whatever shows next
    // belongs to the next command.
    bool waitForQuietMonitor(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // A left click on the named button once the monitor is quiet.
    bool click(const char *name);

    // A fresh panel on the same lines, as the operator starts the program
    // again; the reporter keeps what it has recorded.
    bool restart();

    // The simulated projector; only for a fixture started with one.
    sim::ProjectorSim &sim() { return *m_sim; }
    sim::PowerState power() { return m_sim->projector().power(m_sim->clock()); }

    PtyPair pty; // COM1 unless the simulator or another device was chosen
    QString secondPath = QStringLiteral("/dev/koru-test-no-com2");
    RecordingReporter reporter;
    std::unique_ptr<Form1> form; // goes before the simulator, so the port closes before its line
    bool loaded = false;

private:
    bool load();

    std::unique_ptr<sim::ProjectorSim> m_sim;
    QString m_com1;
};

// startPanel() as the program runs it, the event loop running until start-up
// is over: true once the window shows.
bool startPanelAndWait(const PanelOptions &options, Reporter &reporter, PanelSession &session);

} // namespace koru::test
