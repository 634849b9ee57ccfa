// Replies read from their bytes into typed values, and the words each value
// shows agreeing with the STATUS line's decoding of the same reply.
#include "protocol/catalogue.h"
#include "protocol/rendering.h"
#include "protocol/replydecoding.h"
#include "protocol/replyreading.h"

#include <QTest>

using koru::Reading;
using PS = koru::PowerState;

Q_DECLARE_METATYPE(std::optional<Reading>)

class TestReplyReading : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
};

void TestReplyReading::read_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<std::optional<Reading>>("reading");

    const auto row = [](const char *name, const char *code, QByteArray reply, std::optional<Reading> reading) {
        QTest::newRow(name) << QByteArray(code) << reply << reading;
    };
    const std::optional<Reading> none;
    row("status 00", "CR0", "00\r", PS::On);
    row("status 80", "CR0", "80\r", PS::StandBy);
    row("status 40", "CR0", "40\r", PS::CountDown);
    row("status 20", "CR0", "20\r", PS::CoolingDown);
    row("status 10", "CR0", "10\r", PS::PowerAbnormality);
    row("status 88", "CR0", "88\r", PS::TemperatureAbnormality);
    row("status 28", "CR0", "28\r", PS::TemperatureAbnormality);
    row("status 02", "CR0", "02\r", PS::KeyInputProhibition);
    row("mode 1", "CR1", "1\r", koru::Input::Computer);
    row("mode 2", "CR1", "2\r", koru::Input::Mci);
    row("mode 3", "CR1", "3\r", koru::Input::Video);
    row("setting 11", "CR4", "11\r", koru::ImageSetting::Normal);
    row("setting 10", "CR4", "10\r", koru::ImageSetting::TopBottomReversal);
    row("setting 01", "CR4", "01\r", koru::ImageSetting::LeftRightReversal);
    row("setting 00", "CR4", "00\r", koru::ImageSetting::BothReversed);
    row("lamp time", "CR3", "0123\r", koru::LampHours { 123 });

    row("status without CR", "CR0", "80", none);
    row("status extra digits", "CR0", "8012\r", none);
    row("status unknown row", "CR0", "99\r", none);
    row("status ACK", "CR0", QByteArray(koru::kAckCr), none);
    row("mode two digits", "CR1", "12\r", none);
    row("lamp time short", "CR3", "12\r", none);
    row("lamp time not digits", "CR3", "12a4\r", none);
    row("no query", "C00", "80\r", none);
    row("nothing", "CR0", "", none);
}

void TestReplyReading::read()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, reply);
    QFETCH(std::optional<Reading>, reading);

    QCOMPARE(koru::isQueryCode(code), code.startsWith("CR"));
    const std::optional<Reading> read = koru::readReply(code, reply);
    QVERIFY(read == reading);
    if (!read)
        return;
    // The words of the reading are the STATUS line's for the same bytes.
    const auto decoded = koru::decodeReply(QString::fromLatin1(koru::frame(code)),
                                           koru::renderText(QString::fromLatin1(reply)));
    QCOMPARE(koru::readingWords(*read), decoded.value_or(QString()));
}

QTEST_GUILESS_MAIN(TestReplyReading)
#include "tst_replyreading.moc"
