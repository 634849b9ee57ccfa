#pragma once

#include "app/panelapp.h"
#include "harness/stderrreporter.h"

#include <chrono>
#include <string>

namespace koru {
class Form1;
class PanelButton;
}

namespace koru::bench {

// The real panel, started the way the program starts it (look, start-up,
// shown), with COM1 on `com1Path`. Needs a QApplication.
class BenchPanel
{
public:
    explicit BenchPanel(const std::string &com1Path);
    ~BenchPanel();

    bool isStarted() const { return m_started; }
    Form1 &form() { return *m_session.form; }
    // A button of the window by its control name; aborts on a name the
    // window does not have, since every figure after it would be wrong.
    PanelButton *button(const char *name);
    int warnings() const { return m_reporter.count(); }

private:
    StderrReporter m_reporter;
    PanelSession m_session;
    bool m_started = false;
};

// Runs a real event loop for `duration`. QTest::qWait would not do here: it
// sleeps between turns of the loop, which delays every timer.
void runEventLoopFor(std::chrono::milliseconds duration);

} // namespace koru::bench
