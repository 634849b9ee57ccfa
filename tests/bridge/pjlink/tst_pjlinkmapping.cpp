// PJLink as the bridge reads and answers it, short of the sockets: the
// request reader, the digest, the answers the model's state gives, and the
// rule that shuts out password guessers.
#include "bridge/addressnotices.h"
#include "bridge/pjlink/authfailures.h"
#include "bridge/pjlink/pjlinkmapping.h"

#include <QTest>

using namespace std::chrono_literals;
using namespace koru::bridge;
using koru::PowerState;

Q_DECLARE_METATYPE(std::optional<PowerState>)

class TestPjlinkMapping : public QObject
{
    Q_OBJECT

private slots:
    void readLine_data();
    void readLine();
    void digest();
    void answers_data();
    void answers();
    void authFailures();
    void addressNotices();
};

void TestPjlinkMapping::readLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("expectDigest");
    QTest::addColumn<QByteArray>("reply"); // to ERR1, empty when no request
    const QByteArray hash(32, 'a');
    QTest::newRow("query") << QByteArray("%1POWR ?") << false << QByteArray("%1POWR=ERR1\r");
    QTest::newRow("with digest") << hash + "%1INPT 11" << true << QByteArray("%1INPT=ERR1\r");
    QTest::newRow("class 2") << QByteArray("%2POWR ?") << false << QByteArray("%2POWR=ERR1\r");
    QTest::newRow("digest missing") << QByteArray("%1POWR ?") << true << QByteArray();
    QTest::newRow("no separator") << QByteArray("%1POWR?") << false << QByteArray();
    QTest::newRow("no parameter") << QByteArray("%1POWR ") << false << QByteArray();
    QTest::newRow("no header") << QByteArray("POWR ?xx") << false << QByteArray();
    QTest::newRow("parameter too long") << "%1NAME " + QByteArray(129, 'x') << false << QByteArray();
}

void TestPjlinkMapping::readLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, expectDigest);
    QFETCH(QByteArray, reply);
    const auto read = pjlink::readLine(line, expectDigest);
    QCOMPARE(read.request ? pjlink::reply(*read.request, "ERR1") : QByteArray(), reply);
}

void TestPjlinkMapping::digest()
{
    // The worked example of the PJLink standard.
    const QByteArray expected = pjlink::digest("498e4a67", "JBMIAProjectorLink");
    QCOMPARE(expected, QByteArray("5d8409bc1c3fa39749434aa3a5c38682"));
    QVERIFY(pjlink::digestMatches(expected.toUpper(), expected));
    QVERIFY(!pjlink::digestMatches(QByteArray("5d8409bc1c3fa39749434aa3a5c38683"), expected));
    QVERIFY(!pjlink::digestMatches(expected.left(31), expected));
    const QByteArray random = pjlink::newRandom();
    QCOMPARE(random.size(), 8);
    QVERIFY(random != pjlink::newRandom());
}

void TestPjlinkMapping::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<std::optional<PowerState>>("power");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("power abnormality") << QByteArray("POWR ?") << std::optional(PowerState::PowerAbnormality) << QByteArray("ERR4");
    QTest::newRow("temperature abnormality") << QByteArray("POWR ?") << std::optional(PowerState::TemperatureAbnormality) << QByteArray("ERR4");
    QTest::newRow("keys locked") << QByteArray("POWR ?") << std::optional(PowerState::KeyInputProhibition) << QByteArray("ERR3");
    QTest::newRow("errors, temperature") << QByteArray("ERST ?") << std::optional(PowerState::TemperatureAbnormality) << QByteArray("002000");
    QTest::newRow("errors, power") << QByteArray("ERST ?") << std::optional(PowerState::PowerAbnormality) << QByteArray("000002");
}

void TestPjlinkMapping::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(std::optional<PowerState>, power);
    QFETCH(QByteArray, answer);
    ProjectorState state;
    state.lineAvailable = true;
    state.power = power;
    state.lampHours = koru::LampHours { 1234 };
    const auto decision = pjlink::decide({ '1', request.left(4), request.mid(5) }, state, {});
    QVERIFY(!decision.operation);
    QCOMPARE(decision.answer, answer);
}

void TestPjlinkMapping::authFailures()
{
    AuthFailures failures({ 3, 60s, 60s });
    const QHostAddress guesser(QStringLiteral("192.0.2.1"));
    const QHostAddress other(QStringLiteral("192.0.2.2"));
    failures.recordFailure(guesser, 0s);
    failures.recordFailure(guesser, 30s);
    QVERIFY(!failures.isBlocked(guesser, 31s));
    // The third within a minute: blocked a minute from then.
    failures.recordFailure(guesser, 59s);
    QVERIFY(failures.isBlocked(guesser, 59s));
    QVERIFY(failures.isBlocked(guesser, 118s));
    QVERIFY(!failures.isBlocked(other, 60s));
    QVERIFY(!failures.isBlocked(guesser, 119s));
    // Failures a minute apart never add up.
    for (int minute = 3; minute < 10; ++minute)
        failures.recordFailure(other, std::chrono::minutes(minute));
    QVERIFY(!failures.isBlocked(other, 10min));
    QVERIFY(failures.size() <= 2);
}

void TestPjlinkMapping::addressNotices()
{
    AddressNotices notices(60s);
    const QHostAddress knocker(QStringLiteral("192.0.2.1"));
    QVERIFY(notices.due(knocker, 0s));
    QVERIFY(!notices.due(knocker, 59s));
    QVERIFY(notices.due(QHostAddress(QStringLiteral("192.0.2.2")), 59s));
    QVERIFY(notices.due(knocker, 60s));
    // Thousands of addresses within the minute: each is said, and the
    // memory of them stays bounded.
    for (quint32 i = 0; i < 3000; ++i)
        QVERIFY(notices.due(QHostAddress(0x0a000000 + i), 61s));
    QCOMPARE(notices.size(), AddressNotices::kMaxAddresses);
}

QTEST_GUILESS_MAIN(TestPjlinkMapping)
#include "tst_pjlinkmapping.moc"
