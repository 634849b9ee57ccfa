// One vocabulary for every interface that takes a command by name: each word
// means the same command, and each misspelling draws the same suggestion,
// from koru-ctl's arguments and from the bridge's MQTT command topic.
#include "bridge/mqtt/mqtttopics.h"
#include "ctl/ctlcommandline.h"

#include <QTest>

class TestCommandVocabulary : public QObject
{
    Q_OBJECT

private slots:
    void sameWordsEverywhere_data();
    void sameWordsEverywhere();
};

void TestCommandVocabulary::sameWordsEverywhere_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("code");    // the command meant; empty: refused
    QTest::addColumn<QString>("refusal"); // what every interface says when refused

    QTest::newRow("code") << "C00" << "C00" << "";
    QTest::newRow("lamp-hours") << "lamp-hours" << "CR3" << "";
    QTest::newRow("lamp-hour") << "lamp-hour" << "CR3" << "";
    QTest::newRow("power-status") << "power-status" << "CR0" << "";
    QTest::newRow("input") << "input" << "CR1" << "";
    QTest::newRow("typo") << "stauts" << "" << "unknown command 'stauts'; did you mean: status?";
    QTest::newRow("a word of a name") << "lamp-hrs" << "" << "unknown command 'lamp-hrs'; did you mean: lamp-time?";
    QTest::newRow("code in lower case") << "c00" << "" << "unknown command 'c00'; did you mean: power-on, c01?";
    QTest::newRow("code not in the catalogue") << "C99" << "" << "'C99' is not a code of the catalogue";
    QTest::newRow("nothing close") << "reboot-the-building" << "" << "unknown command 'reboot-the-building'";
    QTest::newRow("synonyms are whole words") << "lamp-hours-now" << "" << "unknown command 'lamp-hours-now'; did you mean: lamp-time?";
}

void TestCommandVocabulary::sameWordsEverywhere()
{
    QFETCH(QString, word);
    QFETCH(QString, code);
    QFETCH(QString, refusal);

    const auto ctl = koru::ctl::parseCtlCommandLine({ "koru-ctl", word });
    const QString ctlCode = ctl.options.commands.empty() ? QString() : QLatin1String(ctl.options.commands.front()->code);
    QCOMPARE(ctlCode, code);
    QCOMPARE(ctl.exitCode.has_value(), code.isEmpty());

    const koru::bridge::ParsedCommand mqtt = koru::bridge::parseCommandPayload(word.toLatin1());
    QCOMPARE(mqtt.command ? QString::fromLatin1(mqtt.command->code) : QString(), code);
    QCOMPARE(mqtt.error, refusal);
    if (!refusal.isEmpty())
        QVERIFY2(ctl.error.contains(refusal), qPrintable(ctl.error));
}

QTEST_GUILESS_MAIN(TestCommandVocabulary)
#include "tst_commandvocabulary.moc"
