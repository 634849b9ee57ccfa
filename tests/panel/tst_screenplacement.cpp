// Start-up centring on a desktop whose primary screen does not lie at the
// origin. The offscreen platform is given such a desktop before the
// application starts, so this suite has a main() of its own.
#include "support/panelfixture.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>

using koru::test::PanelFixture;

namespace {

// The one screen of the desktop, and so the primary, lies right of and
// below the origin, as the second of two screens would.
constexpr char kDesktop[] = R"({
  "screens": [
    { "name": "primary", "x": 1920, "y": 300, "width": 1600, "height": 900,
      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 }
  ]
})";

} // namespace

class TestScreenPlacement : public QObject
{
    Q_OBJECT

private slots:
    void centresOnThePrimaryScreenWhereverItLies();
};

void TestScreenPlacement::centresOnThePrimaryScreenWhereverItLies()
{
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(1920, 300, 1600, 900));

    PanelFixture panel;
    QVERIFY(panel.loaded);
    // 1920 px = 28800 twips across, 300 px = 4500 down, plus the centring
    // within 24000 x 13500 twips for the designed 9585 x 7200.
    QCOMPARE(panel.form->Left(), 36007.5);
    QCOMPARE(panel.form->Top(), 7650.0);
    panel.form->show();
    QVERIFY(QGuiApplication::primaryScreen()->geometry().contains(panel.form->frameGeometry()));
}

int main(int argc, char *argv[])
{
    QTemporaryFile desktop;
    if (!desktop.open() || desktop.write(kDesktop) != qint64(sizeof kDesktop - 1) || !desktop.flush())
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(desktop.fileName()));
    QApplication app(argc, argv);
    TestScreenPlacement test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenplacement.moc"
