// The panel as one of koru-bridge's raw clients: COM1 on the bridged
// projector's raw port, end to end down to the simulator's wire.
#include "support/bridgefixture.h"
#include "support/panelfixture.h"

#include <QSignalSpy>
#include <QTest>

using koru::test::BridgeFixture;

class TestPanelThroughBridge : public QObject
{
    Q_OBJECT

private slots:
    void panelThroughTheRawPort();
};

// The panel with COM1 on the raw port: a click switches the projector on,
// and VOL + held repeats until the release, then stops.
void TestPanelThroughBridge::panelThroughTheRawPort()
{
    BridgeFixture bridge;
    QVERIFY(bridge.ready);
    koru::test::PanelFixture panel(QStringLiteral("tcp://127.0.0.1:%1").arg(bridge.rawPort()));
    QVERIFY(panel.loaded);
    QVERIFY(panel.click("Command17"));
    QTRY_COMPARE(bridge.sim.projector().power(bridge.sim.clock()), koru::sim::PowerState::CountDown);
    QVERIFY(panel.waitForQuietMonitor());
    QSignalSpy frames(&bridge.sim, &koru::sim::ProjectorSim::frameReceived);
    koru::PanelButton *volumeUp = panel.button("Command1");
    QTest::mousePress(volumeUp, Qt::LeftButton);
    QTRY_VERIFY(std::count_if(frames.begin(), frames.end(), [](const QList<QVariant> &f) {
                    return f.first().toByteArray() == "C09";
                }) >= 4);
    QTest::mouseRelease(volumeUp, Qt::LeftButton);
    QTest::qWait(300); // a frame already on its way still arrives
    const auto afterRelease = frames.count();
    QTest::qWait(700);
    QCOMPARE(frames.count() - afterRelease,
             std::count_if(frames.begin() + afterRelease, frames.end(), [](const QList<QVariant> &f) {
                 return f.first().toByteArray() != "C09"; // only the bridge's own polls
             }));
    QCOMPARE(panel.reporter.count(), 0);
}

QTEST_MAIN(TestPanelThroughBridge)
#include "tst_panelthroughbridge.moc"
