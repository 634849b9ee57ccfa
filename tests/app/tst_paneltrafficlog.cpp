// The panel's traffic log: --log on its command line, the transcript of a
// session with the simulated projector, and a log that cannot be opened.
#include "app/panelcommandline.h"
#include "app/panelprogram.h"
#include "layout/panelbuilder.h"
#include "panel/form1.h"
#include "layout/panellabel.h"
#include "protocol/trafficlog.h"
#include "serial/mscomm.h"
#include "support/panelfixture.h"
#include "support/recordingreporter.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using koru::PanelSession;
using koru::test::RecordingReporter;

class TestPanelTrafficLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { koru::layout::applyPanelLook(*qApp); }
    void sessionWithTheSimulatorWritesATranscript();
    void logThatCannotBeOpenedStopsStartUp();
};

void TestPanelTrafficLog::sessionWithTheSimulatorWritesATranscript()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("panel.log"));
    const auto parsed = koru::parsePanelCommandLine({ "koru-panel", "--simulate", "--log", path });
    QVERIFY(!parsed.exitCode);
    QCOMPARE(parsed.options.logPath, path);

    RecordingReporter reporter;
    PanelSession session;
    QString error;
    QVERIFY2(koru::openTrafficLog(parsed.options, session, &error), qPrintable(error));
    QVERIFY(koru::test::startPanelAndWait(parsed.options, reporter, session));
    koru::Form1 &form = *session.form;
    form.commandClick(*koru::commandByName(u"power-on"));
    QTRY_COMPARE(form.Label12->text(), QStringLiteral(" ACK CR "));
    QTRY_VERIFY(form.RecvText.isEmpty()); // the reply wait is over: the next reply stands alone
    form.commandClick(*koru::commandByName(u"status"));
    QTRY_COMPARE(form.Label25->text(), QStringLiteral(" Count down"));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    const QString port = form.MSComm1->devicePath(1);
    // Time, direction, port, rendered bytes in quotes, hex.
    const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)"
                                                  "  (TX|RX)  (\\S+)  \"([^\"]*)\"  ([0-9a-f ]+)$"));
    QStringList sent;
    QString received;
    for (const QString &line : lines) {
        const auto match = shape.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(match.captured(3), port);
        if (match.captured(2) == u"TX")
            sent << match.captured(4);
        else
            received += match.captured(5) + u' ';
    }
    QCOMPARE(sent, (QStringList { " C 0 0 CR ", " C R 0 CR " }));
    QCOMPARE(received.simplified(), QStringLiteral("06 0d 34 30 0d"));
    QCOMPARE(reporter.count(), 0);
}

void TestPanelTrafficLog::logThatCannotBeOpenedStopsStartUp()
{
    QProcess panel;
    panel.setProcessEnvironment([] {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }());
    panel.start(QStringLiteral(KORU_PANEL_PATH), { "--simulate", "--log", "/proc/koru-no/panel.log" });
    QVERIFY(panel.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(panel.state() == QProcess::NotRunning, 15000);
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 1);
    const QString said = QString::fromUtf8(panel.readAllStandardError());
    QVERIFY2(said.contains(u"koru-panel: the traffic log '/proc/koru-no/panel.log' cannot be opened"), qPrintable(said));
}

QTEST_MAIN(TestPanelTrafficLog)
#include "tst_paneltrafficlog.moc"
