// The catalogue as scripts and the panel meet it: one unique name per row,
// each name read off its button, look-ups by name and code, and the names
// suggested for a mistyped one.
#include "layout/controlinventory.h"
#include "protocol/catalogue.h"
#include "protocol/commandwords.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using koru::Command;
using koru::commandCatalogue;

namespace {

// What a technician reads on the button (its accessible name: the title of
// its group and its caption) turned into a script name: "D.Zoom +" is
// "dzoom-up", "STATUS query" is "status", "Command C01" is "c01".
QString scriptNameOfButton(const char *control)
{
    const koru::layout::ControlEntry *entry = koru::layout::findControl(control);
    if (!entry)
        return QString();
    QString words = QString::fromUtf8(entry->accessibleName).toLower();
    words.remove(QRegularExpression(QStringLiteral(" query$|^command ")));
    words.remove(u'.');
    words.replace(QRegularExpression(QStringLiteral(" \\+$")), QStringLiteral(" up"));
    words.replace(QRegularExpression(QStringLiteral(" -$")), QStringLiteral(" down"));
    return words.simplified().replace(u' ', u'-');
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void namesAreUniqueAndScriptFriendly();
    void eachNameIsReadOffItsButton();
    void lookUpsFindTheRow_data();
    void lookUpsFindTheRow();
    void nearestNames_data();
    void nearestNames();
};

void TestCatalogue::namesAreUniqueAndScriptFriendly()
{
    const QRegularExpression form(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"));
    QSet<QString> seen;
    for (const Command &row : commandCatalogue()) {
        const QString name = QLatin1String(row.name);
        QVERIFY2(form.match(name).hasMatch(), row.name);
        QVERIFY2(!seen.contains(name), row.name);
        seen.insert(name);
    }
    QCOMPARE(seen.size(), 45);
}

void TestCatalogue::eachNameIsReadOffItsButton()
{
    for (const Command &row : commandCatalogue())
        QCOMPARE(QLatin1String(row.name), scriptNameOfButton(row.control));
}

void TestCatalogue::lookUpsFindTheRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("control");
    QTest::newRow("power-on") << "power-on" << "C00" << "Command17";
    QTest::newRow("vol-up") << "vol-up" << "C09" << "Command1";
    QTest::newRow("zoom-down") << "zoom-down" << "C46" << "Command35";
    QTest::newRow("lamp-time") << "lamp-time" << "CR3" << "Command46";
    QTest::newRow("c01") << "c01" << "C01" << "Command52";
}

void TestCatalogue::lookUpsFindTheRow()
{
    QFETCH(QString, name);
    QFETCH(QString, code);
    QFETCH(QString, control);
    const Command *byName = koru::commandByName(name);
    QVERIFY(byName);
    QCOMPARE(koru::commandByCode(code), byName);
    QCOMPARE(QLatin1String(byName->control), control);
    QVERIFY(koru::isCommandCode(code.toLatin1()));
    // Names and codes are exact: no case folding, no trailing CR.
    QVERIFY(!koru::commandByName(name.toUpper()));
    QVERIFY(!koru::commandByCode(code.toLower()));
    QVERIFY(!koru::commandByCode(code + u'\r'));
}

void TestCatalogue::nearestNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("alsoListed"); // empty: only the first matters

    QTest::newRow("typo") << "stauts" << "status" << "";
    QTest::newRow("part of two names") << "mute" << "audio-mute-on" << "video-mute-off";
    QTest::newRow("code in lower case") << "c3c" << "cursor-up" << "";
    QTest::newRow("nothing close") << "reboot-the-building" << "" << "";
    QTest::newRow("a word of the name") << "lamp-hrs" << "lamp-time" << "";
}

void TestCatalogue::nearestNames()
{
    QFETCH(QString, typed);
    QFETCH(QString, first);
    QFETCH(QString, alsoListed);
    const QStringList names = koru::nearestNames(typed);
    QCOMPARE(names.value(0), first);
    QVERIFY(names.size() <= 5);
    if (!alsoListed.isEmpty())
        QVERIFY2(names.contains(alsoListed), qPrintable(names.join(u',')));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
