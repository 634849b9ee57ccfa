// The panel as built from the control inventory: every control once, in its
// container, at its place, with its font, colours, tab order and start state.

#include "layout/controlinventory.h"
#include "layout/panelbuilder.h"
#include "layout/twips.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>

using namespace koru::layout;

namespace {

constexpr int kClientWidthPixels = kClientWidthTwips / 15;   // 633
constexpr int kClientHeightPixels = kClientHeightTwips / 15; // 455

const char *className(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Frame: return "QFrame";
    case ControlKind::Label: return "koru::PanelLabel";
    case ControlKind::PushButton: return "koru::PanelButton";
    case ControlKind::OptionButton: return "QRadioButton";
    case ControlKind::Line: return "QWidget";
    case ControlKind::Picture: return "QLabel";
    }
    return "";
}

std::unique_ptr<QWidget> newPanel()
{
    auto window = std::make_unique<QWidget>();
    window->setObjectName(QStringLiteral("Form1"));
    window->resize(kClientWidthPixels, kClientHeightPixels);
    buildPanel(window.get());
    return window;
}

// The names of the controls that take the focus, in tab-index order.
QStringList focusableByTabIndex()
{
    std::vector<const ControlEntry *> rows;
    for (const ControlEntry &entry : controlInventory()) {
        if (entry.kind == ControlKind::PushButton || entry.kind == ControlKind::OptionButton)
            rows.push_back(&entry);
    }
    std::sort(rows.begin(), rows.end(),
              [](const ControlEntry *a, const ControlEntry *b) { return a->tabIndex < b->tabIndex; });
    QStringList names;
    for (const ControlEntry *entry : rows)
        names << QString::fromLatin1(entry->name);
    return names;
}

bool takesTabFocus(const QWidget *widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

// Largest difference of the three channels.
int colourDistance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void inventoryCounts_data();
    void inventoryCounts();
    void inventoryNamesAndTabIndexesAreUnique();
    void controlsLieInsideTheirContainers();

    void eachControlBuiltOnce_data();
    void eachControlBuiltOnce();

    void twipsToPixels_data();
    void twipsToPixels();
    void geometry_data();
    void geometry();

    void tabChainFollowsTabIndexes();
    void focusStartsOnCommand17AndTabWalksVisibleControls();

    void fonts_data();
    void fonts();
    void japaneseCaptionsRender_data();
    void japaneseCaptionsRender();

    void paletteColours_data();
    void paletteColours();
    void renderedColours_data();
    void renderedColours();
    void captionsFitTheirButtons_data();
    void captionsFitTheirButtons();

    void startState();
    void optionGroupsAreIndependent();
    void linesLieBeneathAndPortPanelCoversCom();
    void logoAndIcon();

private:
    QWidget *control(const char *name) const
    {
        return m_window->findChild<QWidget *>(QString::fromLatin1(name));
    }

    std::unique_ptr<QWidget> m_window;
};

void TestLayout::initTestCase()
{
    applyPanelLook(*qApp);
    m_window = newPanel();
}

void TestLayout::cleanupTestCase()
{
    m_window.reset();
}

void TestLayout::inventoryCounts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("count");
    QTest::newRow("frames") << int(ControlKind::Frame) << 11;
    QTest::newRow("labels") << int(ControlKind::Label) << 20;
    QTest::newRow("push buttons") << int(ControlKind::PushButton) << 48;
    QTest::newRow("option buttons") << int(ControlKind::OptionButton) << 4;
    QTest::newRow("lines") << int(ControlKind::Line) << 12;
    QTest::newRow("pictures") << int(ControlKind::Picture) << 1;
}

void TestLayout::inventoryCounts()
{
    QFETCH(int, kind);
    QFETCH(int, count);
    const auto &rows = controlInventory();
    QCOMPARE(std::count_if(rows.begin(), rows.end(),
                           [kind](const ControlEntry &s) { return int(s.kind) == kind; }),
             count);
}

void TestLayout::inventoryNamesAndTabIndexesAreUnique()
{
    QSet<QString> names;
    QSet<QString> spokenNames; // a screen reader must tell the buttons apart
    QList<int> tabIndexes;
    for (const ControlEntry &entry : controlInventory()) {
        const QString name = QString::fromLatin1(entry.name);
        QVERIFY2(!names.contains(name), qPrintable(name));
        names.insert(name);
        const QString spoken = QString::fromUtf8(entry.accessibleName);
        QVERIFY2(!spoken.isEmpty(), entry.name);
        if (entry.kind == ControlKind::PushButton || entry.kind == ControlKind::OptionButton) {
            QVERIFY2(!spokenNames.contains(spoken), qPrintable(spoken));
            spokenNames.insert(spoken);
        }
        if (entry.tabIndex >= 0)
            tabIndexes << entry.tabIndex;
        QCOMPARE(entry.tabIndex < 0, entry.kind == ControlKind::Line || entry.kind == ControlKind::Picture);
    }
    // Frames, labels, buttons and options share one numbering without gaps.
    std::sort(tabIndexes.begin(), tabIndexes.end());
    QCOMPARE(tabIndexes.size(), 83);
    for (int i = 0; i < tabIndexes.size(); ++i)
        QCOMPARE(tabIndexes.at(i), i);
}

void TestLayout::controlsLieInsideTheirContainers()
{
    for (const ControlEntry &entry : controlInventory()) {
        QWidget *widget = control(entry.name);
        QVERIFY2(widget, entry.name);
        const QRect bounds = widget->parentWidget()->rect();
        QVERIFY2(bounds.contains(widget->geometry()), entry.name);
    }
}

void TestLayout::eachControlBuiltOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("container");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("accessibleName");
    for (const ControlEntry &entry : controlInventory()) {
        const QString container = qstrcmp(entry.container, kWindowContainer) == 0
            ? QStringLiteral("Form1")
            : QString::fromLatin1(entry.container);
        QTest::newRow(entry.name) << QString::fromLatin1(entry.name) << QString::fromLatin1(className(entry.kind))
                                 << container << !entry.shown << QString::fromUtf8(entry.caption)
                                 << QString::fromUtf8(entry.accessibleName);
    }
}

void TestLayout::eachControlBuiltOnce()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, container);
    QFETCH(bool, hidden);
    QFETCH(QString, caption);
    QFETCH(QString, accessibleName);

    const QList<QWidget *> found = m_window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->isHidden(), hidden);
    QCOMPARE(widget->accessibleName(), accessibleName);
    QCOMPARE(widget->toolTip(), QString());
    QVERIFY(widget->isEnabled());

    const QVariant text = widget->property("text");
    if (text.isValid())
        QCOMPARE(text.toString(), caption);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void TestLayout::twipsToPixels_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("just under half") << 7.4 << 0;
    QTest::newRow("half a pixel rounds up") << 7.5 << 1;
    QTest::newRow("seven and a half pixels") << 112.5 << 8;
    QTest::newRow("D.Zoom + left") << 6645.0 << 443;
    QTest::newRow("frame height 972") << 972.0 << 65;
    QTest::newRow("8.25 pt") << 8.25 * 20 << 11;
    QTest::newRow("9.75 pt") << 9.75 * 20 << 13;
}

void TestLayout::twipsToPixels()
{
    QFETCH(double, twips);
    QFETCH(int, pixels);
    QCOMPARE(koru::layout::twipsToPixels(twips), pixels);
}

void TestLayout::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("local");    // in the container
    QTest::addColumn<QPoint>("inWindow"); // in the client area
    QTest::addColumn<QSize>("size");

    // On the window.
    QTest::newRow("Command38") << "Command38" << QPoint(288, 104) << QPoint(288, 104) << QSize(25, 17);
    QTest::newRow("Command48 at 6645") << "Command48" << QPoint(443, 192) << QPoint(443, 192) << QSize(25, 17);
    QTest::newRow("Command49 at 6660") << "Command49" << QPoint(444, 216) << QPoint(444, 216) << QSize(25, 17);
    QTest::newRow("Command3 height 492") << "Command3" << QPoint(552, 240) << QPoint(552, 240) << QSize(73, 33);
    QTest::newRow("Image1") << "Image1" << QPoint(544, 8) << QPoint(544, 8) << QSize(80, 26);
    // In a frame: from the frame's outer corner.
    QTest::newRow("Command17 in Frame1") << "Command17" << QPoint(8, 40) << QPoint(16, 48) << QSize(49, 20);
    QTest::newRow("Label11 at 720") << "Label11" << QPoint(48, 13) << QPoint(56, 341) << QSize(393, 20);
    QTest::newRow("Label12 at 705") << "Label12" << QPoint(47, 40) << QPoint(55, 368) << QSize(393, 20);
    QTest::newRow("Label25 in Frame15") << "Label25" << QPoint(64, 8) << QPoint(112, 408) << QSize(337, 20);
    // In a frame in a frame.
    QTest::newRow("Frame10 in Frame8") << "Frame10" << QPoint(8, 33) << QPoint(248, 273) << QSize(169, 41);
    QTest::newRow("Option3 in Frame10") << "Option3" << QPoint(8, 13) << QPoint(256, 286) << QSize(80, 23);
    // Lines: two pixels wide, reaching past their far end to close corners.
    QTest::newRow("Line7 horizontal") << "Line7" << QPoint(72, 160) << QPoint(72, 160) << QSize(74, 2);
    QTest::newRow("Line3 vertical") << "Line3" << QPoint(208, 192) << QPoint(208, 192) << QSize(2, 42);
}

void TestLayout::geometry()
{
    QFETCH(QString, name);
    QFETCH(QPoint, local);
    QFETCH(QPoint, inWindow);
    QFETCH(QSize, size);

    QWidget *widget = control(qPrintable(name));
    QVERIFY(widget);
    QCOMPARE(widget->pos(), local);
    QCOMPARE(widget->mapTo(m_window.get(), QPoint(0, 0)), inWindow);
    QCOMPARE(widget->size(), size);
}

void TestLayout::tabChainFollowsTabIndexes()
{
    // The raw focus chain holds every focusable control, hidden ones included,
    // in tab-index order, and nothing else takes the focus.
    const QStringList expected = focusableByTabIndex();
    QCOMPARE(expected.first(), QStringLiteral("Command17"));
    QCOMPARE(expected.size(), 52);

    QStringList chain;
    for (QWidget *w = m_window->nextInFocusChain(); w != m_window.get(); w = w->nextInFocusChain()) {
        if (takesTabFocus(w))
            chain << w->objectName();
    }
    QCOMPARE(chain, expected);
}

void TestLayout::focusStartsOnCommand17AndTabWalksVisibleControls()
{
    const auto window = newPanel();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command17"));

    // The port panel and the toggle are hidden, so Tab passes them by; the
    // lower band lies below the compact height but is shown, so Tab reaches it.
    QStringList expected = focusableByTabIndex();
    for (const char *hidden : {"Option1", "Option2", "Option3", "Option4", "Command34"})
        expected.removeAll(QString::fromLatin1(hidden));

    QStringList walked{QStringLiteral("Command17")};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(walked, expected);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command17"));
}

void TestLayout::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fixedPitch");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");

    QTest::newRow("Label1 G 9 B") << "Label1" << true << 12 << true;
    QTest::newRow("Label15 G 8.25") << "Label15" << true << 11 << false;
    QTest::newRow("Label11 P 9.75 B") << "Label11" << false << 13 << true;
    QTest::newRow("Label25 P 9 B") << "Label25" << false << 12 << true;
    QTest::newRow("Command5 P 9 B") << "Command5" << false << 12 << true;
    QTest::newRow("Command44 G 8.25 B") << "Command44" << true << 11 << true;
    QTest::newRow("Command34 G 9") << "Command34" << true << 12 << false;
}

void TestLayout::fonts()
{
    QFETCH(QString, name);
    QFETCH(bool, fixedPitch);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);

    QWidget *widget = control(qPrintable(name));
    QVERIFY(widget);
    const QFontInfo info(widget->font());
    QVERIFY2(QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Japanese),
             qPrintable(info.family()));
    QCOMPARE(info.pixelSize(), pixelSize);
    QCOMPARE(info.bold(), bold);
    QVERIFY(!info.italic());
    // What pitch means on screen: narrow and wide Latin letters take the same
    // advance in a fixed-pitch face and differ in a proportional one.
    const QFontMetrics metrics(widget->font());
    QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')) == metrics.horizontalAdvance(QLatin1Char('W')),
             fixedPitch);
}

void TestLayout::japaneseCaptionsRender_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("show the data") << "Command34" << QStringLiteral("データを表示する");
    QTest::newRow("do not show the data") << "Command34" << QStringLiteral("データを表示しない");
    QTest::newRow("arrows") << "Command5" << QStringLiteral("↑↓←→");
}

void TestLayout::japaneseCaptionsRender()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    const QFont font = control(qPrintable(name))->font();
    const QFontMetrics metrics(font);
    for (const char32_t ucs4 : caption.toUcs4())
        QVERIFY2(metrics.inFontUcs4(ucs4), qPrintable(QString::number(ucs4, 16)));
    // Each of these characters is at least half an em wide.
    QVERIFY(metrics.horizontalAdvance(caption) >= caption.size() * font.pixelSize() / 2);
}

void TestLayout::paletteColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("Command17 face") << "Command17" << int(QPalette::Button) << QColor(0xC0, 0xFF, 0xC0);
    QTest::newRow("button text") << "Command17" << int(QPalette::ButtonText) << QColor(Qt::black);
    QTest::newRow("Label1 text") << "Label1" << int(QPalette::WindowText) << QColor(0xC0, 0x00, 0x00);
    QTest::newRow("Label2 default text") << "Label2" << int(QPalette::WindowText) << QColor(Qt::black);
    QTest::newRow("Label25 text") << "Label25" << int(QPalette::WindowText) << QColor(0xFF, 0x00, 0x00);
    QTest::newRow("Option3 ground") << "Option3" << int(QPalette::Window) << QColor(0xC0, 0xC0, 0xC0);
    QTest::newRow("window ground") << "Form1" << int(QPalette::Window) << QColor(0xC0, 0xC0, 0xC0);
}

void TestLayout::paletteColours()
{
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QColor, colour);

    QWidget *widget = name == QLatin1String("Form1") ? m_window.get() : control(qPrintable(name));
    QVERIFY(widget);
    QCOMPARE(widget->palette().color(QPalette::ColorRole(role)), colour);
}

void TestLayout::renderedColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("at"); // in the control
    QTest::addColumn<QColor>("colour");

    // Faces are flat in their own colour, not lightened by the style.
    QTest::newRow("Command17 face") << "Command17" << QPoint(4, 10) << QColor(0xC0, 0xFF, 0xC0);
    QTest::newRow("Command6 face") << "Command6" << QPoint(4, 12) << QColor(0xFF, 0x80, 0x00);
    QTest::newRow("Command13 face") << "Command13" << QPoint(4, 8) << QColor(0x00, 0xC0, 0xC0);
    QTest::newRow("Command33 system face") << "Command33" << QPoint(4, 8) << QColor(0xC0, 0xC0, 0xC0);
    QTest::newRow("Label11 white box") << "Label11" << QPoint(10, 10) << QColor(Qt::white);
    QTest::newRow("Label11 sunken border") << "Label11" << QPoint(0, 10) << QColor(0x80, 0x80, 0x80);
    QTest::newRow("Label1 ground") << "Label1" << QPoint(1, 1) << QColor(0xC0, 0xC0, 0xC0);
    QTest::newRow("Line1") << "Line1" << QPoint(1, 10) << QColor(0x80, 0x80, 0xFF);
    QTest::newRow("Image1 grey ground") << "Image1" << QPoint(1, 1) << QColor(0xC0, 0xC0, 0xC0);
}

void TestLayout::renderedColours()
{
    QFETCH(QString, name);
    QFETCH(QPoint, at);
    QFETCH(QColor, colour);

    QWidget *widget = control(qPrintable(name));
    QVERIFY(widget);
    const QImage image = m_window->grab().toImage();
    const QColor seen = image.pixelColor(widget->mapTo(m_window.get(), at) * image.devicePixelRatio());
    QCOMPARE(seen.name(), colour.name());
}

void TestLayout::captionsFitTheirButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("lines");
    QTest::newRow("END") << "Command16" << "END" << 1;
    QTest::newRow("DISPLAY CLEAR") << "Command3" << "DISPLAY CLEAR" << 2;
    QTest::newRow("show the data") << "Command34" << QStringLiteral("データを表示する") << 2;
    QTest::newRow("do not show the data") << "Command34" << QStringLiteral("データを表示しない") << 2;
}

// A caption wider than its button breaks onto a second line rather than being
// cut at both sides: the ink stays clear of the side bevels, and a broken
// caption is taller than one line.
void TestLayout::captionsFitTheirButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, lines);

    const auto window = newPanel();
    auto *button = window->findChild<QPushButton *>(name);
    QVERIFY(button);
    button->setText(caption);
    button->show();
    const QImage image = button->grab().toImage();
    const QColor face = button->palette().color(QPalette::Button);
    const QRect inside = QRect(QPoint(0, 0), button->size()).adjusted(2, 2, -3, -3);
    QRect ink;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (colourDistance(image.pixelColor(x, y), face) > 96)
                ink |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!ink.isEmpty());
    QVERIFY2(ink.left() > inside.left() && ink.right() < inside.right(),
             qPrintable(QStringLiteral("ink %1..%2").arg(ink.left()).arg(ink.right())));
    const int pixelSize = button->font().pixelSize();
    if (lines == 1)
        QVERIFY(ink.height() <= pixelSize);
    else
        QVERIFY(ink.height() > pixelSize);
}

void TestLayout::startState()
{
    QVERIFY(!qobject_cast<QRadioButton *>(control("Option1"))->isChecked());
    QVERIFY(!qobject_cast<QRadioButton *>(control("Option2"))->isChecked());
    QVERIFY(qobject_cast<QRadioButton *>(control("Option3"))->isChecked());
    QVERIFY(!qobject_cast<QRadioButton *>(control("Option4"))->isChecked());

    for (const char *line : {"Label11", "Label12", "Label25"}) {
        auto *label = qobject_cast<QFrame *>(control(line));
        QVERIFY2(label, line);
        QCOMPARE(label->property("text").toString(), QString());
        QCOMPARE(label->frameShadow(), QFrame::Sunken);
        QVERIFY(label->frameWidth() > 0);
        QVERIFY(label->autoFillBackground());
    }
    // The titles have no border.
    QCOMPARE(qobject_cast<QFrame *>(control("Label1"))->frameWidth(), 0);
    QCOMPARE(qobject_cast<QFrame *>(control("Label1"))->focusPolicy(), Qt::NoFocus);
}

void TestLayout::optionGroupsAreIndependent()
{
    const auto window = newPanel();
    auto option = [&window](const char *name) {
        return window->findChild<QRadioButton *>(QString::fromLatin1(name));
    };
    option("Option2")->click();
    QVERIFY(option("Option2")->isChecked());
    QVERIFY(option("Option3")->isChecked());
    option("Option4")->click();
    QVERIFY(option("Option4")->isChecked());
    QVERIFY(!option("Option3")->isChecked());
    QVERIFY(option("Option2")->isChecked());
    option("Option1")->click();
    QVERIFY(!option("Option2")->isChecked());
    QVERIFY(option("Option4")->isChecked());
}

void TestLayout::linesLieBeneathAndPortPanelCoversCom()
{
    const auto window = newPanel();
    const QList<QWidget *> siblings = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    int lastLine = -1;
    int firstOther = int(siblings.size());
    for (int i = 0; i < siblings.size(); ++i) {
        if (siblings.at(i)->objectName().startsWith(QLatin1String("Line")))
            lastLine = i;
        else
            firstOther = std::min(firstOther, i);
    }
    QVERIFY(lastLine >= 0);
    QVERIFY(lastLine < firstOther);

    QWidget *com = window->findChild<QWidget *>(QStringLiteral("Command33"));
    QWidget *portPanel = window->findChild<QWidget *>(QStringLiteral("Frame8"));
    const QPoint comCentre = com->geometry().center();
    window->show();
    QCOMPARE(window->childAt(comCentre), com);
    portPanel->show();
    QWidget *hit = window->childAt(comCentre);
    QVERIFY(hit == portPanel || portPanel->isAncestorOf(hit));
    QVERIFY(portPanel->geometry().contains(com->geometry()));
}

void TestLayout::logoAndIcon()
{
    auto *logo = qobject_cast<QLabel *>(control("Image1"));
    QVERIFY(logo);
    const QPixmap pixmap = logo->pixmap();
    QCOMPARE(pixmap.size(), QSize(80, 26));
    QCOMPARE(logo->size(), pixmap.size());
    QCOMPARE(logo->frameWidth(), 0);

    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)})
        QVERIFY(sizes.contains(size));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
