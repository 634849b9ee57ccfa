#include "layout/panellabel.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QTest>

using koru::PanelLabel;

namespace {

// A monitor line as the panel has it: 393 by 20 pixels, 13 px bold.
void makeMonitorLine(PanelLabel &label)
{
    label.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(13);
    font.setBold(true);
    label.setFont(font);
    label.resize(393, 20);
}

QString spacedOut(qsizetype characters)
{
    QString text(QLatin1Char(' '));
    for (qsizetype i = 0; i < characters; ++i) {
        text += QChar(char16_t(u'A' + i % 26));
        text += u' ';
    }
    return text;
}

// Counts the repaint requests a window receives.
class UpdateRequestCounter : public QObject
{
public:
    explicit UpdateRequestCounter(QWidget *window)
        : QObject(window)
    {
        window->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++count;
        return false;
    }
};

} // namespace

class TestPanelLabel : public QObject
{
    Q_OBJECT

private slots:
    void longCaptionIsKeptWholeButLaidOutOnlyWhereItShows();
    void wrapsAtBlanksAndCutsAtTheLowerEdge();
    void sameVisibleStartCostsNoRelayout();
    void growingCaptionOutOfSightAsksForNoRepaint();
};

void TestPanelLabel::longCaptionIsKeptWholeButLaidOutOnlyWhereItShows()
{
    PanelLabel label;
    makeMonitorLine(label);
    const QString text = spacedOut(65000); // 130,001 characters
    label.setText(text);
    QCOMPARE(label.text(), text); // read back whole, as the decoding does
    QVERIFY(label.visiblePrefix().size() < 2000);
    QVERIFY(text.startsWith(label.visiblePrefix()));
    label.grab(); // paints
    QVERIFY(label.laidOutLineCount() >= 1);
    QVERIFY(label.laidOutLineCount() <= 3);
}

void TestPanelLabel::wrapsAtBlanksAndCutsAtTheLowerEdge()
{
    PanelLabel label;
    makeMonitorLine(label);
    label.resize(393, 60); // room for several lines
    label.setText(spacedOut(400));
    label.grab();
    const int lines = label.laidOutLineCount();
    QVERIFY2(lines >= 2 && lines <= 5, qPrintable(QString::number(lines)));

    // The text shows: some pixels are not the white ground.
    label.setAutoFillBackground(true);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    label.setPalette(palette);
    label.setText(QStringLiteral(" C 0 0 CR "));
    const QImage image = label.grab().toImage();
    int dark = 0;
    for (int y = 2; y < image.height() - 2; ++y)
        for (int x = 2; x < image.width() - 2; ++x)
            dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    QVERIFY(dark > 20);
}

void TestPanelLabel::sameVisibleStartCostsNoRelayout()
{
    PanelLabel label;
    makeMonitorLine(label);
    label.setText(spacedOut(5000));
    label.grab();
    QVERIFY(label.laidOutLineCount() > 0);
    // More text behind what shows: the layout stays valid.
    label.setText(spacedOut(6000));
    QVERIFY(label.laidOutLineCount() > 0);
    // A different start must be laid out again.
    label.setText(QStringLiteral(" X X X X"));
    QCOMPARE(label.laidOutLineCount(), 0);
    label.grab();
    QCOMPARE(label.laidOutLineCount(), 1);
}

// The RXD line of the compact window lies below its lower edge and is never
// painted. A flood appends to it many times a second: while what it would
// show stays the same, the window must not be asked to repaint at each append.
void TestPanelLabel::growingCaptionOutOfSightAsksForNoRepaint()
{
    QWidget window;
    window.resize(400, 100);
    auto *label = new PanelLabel(&window);
    makeMonitorLine(*label);
    label->move(0, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    label->setText(spacedOut(2000)); // more than can ever show
    QCoreApplication::processEvents();

    UpdateRequestCounter requests(&window);
    for (int i = 0; i < 50; ++i) {
        label->appendText(u"A ");
        QCoreApplication::processEvents();
    }
    QCOMPARE(requests.count, 0);

    // A change of what shows is still painted once it comes into sight.
    label->setText(QStringLiteral(" X X X X"));
    label->move(0, 0);
    QTRY_COMPARE(label->laidOutLineCount(), 1);
}

QTEST_MAIN(TestPanelLabel)
#include "tst_panellabel.moc"
