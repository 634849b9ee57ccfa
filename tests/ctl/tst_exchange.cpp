// How koru-ctl judges a reply and the lines it prints for it.
#include "ctl/exchangereport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace std::chrono_literals;
using koru::line::Exchange;
using koru::line::Outcome;

Q_DECLARE_METATYPE(Outcome)

// What the line hands over for `reply` to the command `name`.
static Exchange exchangeOf(QStringView name, const QByteArray &reply, koru::Millis elapsed, koru::Millis queued = {})
{
    Exchange exchange { koru::commandByName(name), koru::line::judgeReply(koru::frame(*koru::commandByName(name)), reply) };
    exchange.result.elapsed = elapsed;
    exchange.result.queued = queued;
    return exchange;
}

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void assess_data();
    void assess();
    void jsonCarriesEveryField();
};

void TestExchange::assess_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("line");

    const QByteArray ack("\x06\r", 2);
    const QByteArray nak("\x15\r", 2);
    QTest::newRow("acknowledged") << "power-on" << ack << Outcome::Answered << 0 << R"(power-on  C00  " ACK CR ")";
    QTest::newRow("no reply") << "power-off" << QByteArray() << Outcome::NoReply << 3 << R"(power-off  C02  " X X X X")";
    QTest::newRow("refused") << "power-on" << nak << Outcome::Refused << 4 << R"(power-on  C00  " ? CR ")";
    QTest::newRow("plain command, digits back") << "input-pc" << QByteArray("80\r") << Outcome::Unreadable << 4
                                               << R"(input-pc  C05  " 8 0 CR ")";
    QTest::newRow("ack without its CR") << "vol-up" << QByteArray("\x06") << Outcome::Unreadable << 4
                                        << R"(vol-up  C09  " ACK ")";
    QTest::newRow("status") << "status" << QByteArray("80\r") << Outcome::Answered << 0
                            << R"(status  CR0  " 8 0 CR "  Stand by)";
    QTest::newRow("status, second temperature row") << "status" << QByteArray("28\r") << Outcome::Answered << 0
                                                    << R"(status  CR0  " 2 8 CR "  Temperature abnormality)";
    QTest::newRow("status answered with ack") << "status" << ack << Outcome::Unreadable << 4 << R"(status  CR0  " ACK CR ")";
    QTest::newRow("status refused") << "status" << nak << Outcome::Refused << 4 << R"(status  CR0  " ? CR ")";
    QTest::newRow("status cut short") << "status" << QByteArray("80") << Outcome::Unreadable << 4 << R"(status  CR0  " 8 0 ")";
    QTest::newRow("mode") << "mode" << QByteArray("3\r") << Outcome::Answered << 0 << R"(mode  CR1  " 3 CR "  Video)";
    QTest::newRow("setting") << "setting" << QByteArray("00\r") << Outcome::Answered << 0
                             << R"(setting  CR4  " 0 0 CR "  Top/Bottom , Left/Right reversal)";
    QTest::newRow("lamp time") << "lamp-time" << QByteArray("0123\r") << Outcome::Answered << 0
                               << R"(lamp-time  CR3  " 0 1 2 3 CR "  0 1 2 3 Hour)";
    QTest::newRow("lamp time not digits") << "lamp-time" << ack << Outcome::Unreadable << 4
                                          << R"(lamp-time  CR3  " ACK CR ")";
    QTest::newRow("lamp time too short") << "lamp-time" << QByteArray("12\r") << Outcome::Unreadable << 4
                                         << R"(lamp-time  CR3  " 1 2 CR ")";
}

void TestExchange::assess()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, reply);
    QFETCH(Outcome, outcome);
    QFETCH(int, exitStatus);
    QFETCH(QString, line);

    const Exchange exchange = exchangeOf(name, reply, 20ms);
    QCOMPARE(exchange.result.outcome, outcome);
    QCOMPARE(koru::ctl::exitStatusOf(outcome), exitStatus);
    QCOMPARE(koru::ctl::formatLine(exchange), line);
    QCOMPARE(koru::ctl::describeFailure(exchange, 500ms).isEmpty(), exitStatus == 0);
}

void TestExchange::jsonCarriesEveryField()
{
    const Exchange answered = exchangeOf(u"status", QByteArray("40\r"), 23ms, 7ms);
    const auto document = QJsonDocument::fromJson(koru::line::formatJson(answered).toUtf8());
    QVERIFY(document.isObject());
    const QJsonObject object = document.object();
    QCOMPARE(object.value("name").toString(), QStringLiteral("status"));
    QCOMPARE(object.value("code").toString(), QStringLiteral("CR0"));
    QCOMPARE(object.value("reply_hex").toString(), QStringLiteral("34300d"));
    QCOMPARE(object.value("rendered").toString(), QStringLiteral(" 4 0 CR "));
    QCOMPARE(object.value("words").toString(), QStringLiteral("Count down"));
    QCOMPARE(object.value("elapsed_ms").toInt(), 23);
    QCOMPARE(object.value("queued_ms").toInt(), 7);
    QCOMPARE(object.value("result").toString(), QStringLiteral("answered"));

    const Exchange silent = exchangeOf(u"power-on", QByteArray(), 500ms);
    const QJsonObject none = QJsonDocument::fromJson(koru::line::formatJson(silent).toUtf8()).object();
    QVERIFY(none.contains("words") && none.value("words").isNull());
    QCOMPARE(none.value("reply_hex").toString(), QString());
    QCOMPARE(none.value("result").toString(), QStringLiteral("no-reply"));
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
