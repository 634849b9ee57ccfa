#include "support/panelfixture.h"

#include <QSignalSpy>

#include <memory>
#include <optional>
#include <QTest>

namespace koru::test {

PanelFixture::PanelFixture()
    : m_com1(pty.slavePath())
{
    loaded = load();
}

PanelFixture::PanelFixture(const sim::SimOptions &options)
    : m_sim(std::make_unique<sim::ProjectorSim>(options))
{
    QString error;
    if (!m_sim->start(&error)) {
        qWarning("simulated projector did not start: %s", qPrintable(error));
        return;
    }
    m_com1 = m_sim->devicePath();
    loaded = load();
}

PanelFixture::PanelFixture(const QString &com1Path)
    : m_com1(com1Path)
{
    loaded = load();
}

PanelFixture::~PanelFixture()
{
    form.reset(); // the panel lets go of the line before its far end goes
    m_sim.reset();
}

bool PanelFixture::load()
{
    static bool lookApplied = false;
    if (!lookApplied) {
        layout::applyPanelLook(*qApp);
        lookApplied = true;
    }
    form = std::make_unique<Form1>(reporter);
    form->MSComm1->setDevicePath(1, m_com1);
    form->MSComm1->setDevicePath(2, secondPath);
    QSignalSpy finished(form.get(), &Form1::loadFinished);
    form->Form_Load();
    return (finished.count() > 0 || finished.wait(10000)) && finished.first().first().toBool();
}

bool PanelFixture::restart()
{
    form.reset();
    loaded = load();
    return loaded;
}

bool PanelFixture::show()
{
    form->show();
    return QTest::qWaitForWindowExposed(form.get());
}

bool PanelFixture::waitForQuietMonitor(std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor([this] { return !form->Timer2->isActive() && !form->Timer4->isActive(); },
                           int(timeout.count()));
}

bool PanelFixture::click(const char *name)
{
    PanelButton *target = button(name);
    if (!target || !waitForQuietMonitor())
        return false;
    QTest::mouseClick(target, Qt::LeftButton);
    return true;
}

bool startPanelAndWait(const PanelOptions &options, Reporter &reporter, PanelSession &session)
{
    const auto outcome = std::make_shared<std::optional<bool>>();
    if (!startPanel(options, reporter, session, [outcome](bool opened) { *outcome = opened; }))
        return false;
    return QTest::qWaitFor([&outcome] { return outcome->has_value(); }, 10000) && **outcome;
}

} // namespace koru::test
