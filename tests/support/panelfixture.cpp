#include "support/panelfixture.h"

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
    return form->Form_Load();
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

} // namespace koru::test
