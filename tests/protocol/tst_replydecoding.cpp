#include "protocol/rendering.h"
#include "protocol/replydecoding.h"

#include <QTest>

using koru::decodeReply;
using koru::renderText;

class TestReplyDecoding : public QObject
{
    Q_OBJECT

private slots:
    void decoded_data();
    void decoded();
};

// Each row: the command last sent, the reply characters as received, and the
// STATUS line that results (no value: the line keeps what it showed).
void TestReplyDecoding::decoded_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<QString>("status");

    const auto row = [](const char *name, const QString &sent, const QString &reply, const char *status) {
        QTest::newRow(name) << sent << reply << (status != nullptr) << (status ? QString::fromUtf8(status) : QString());
    };

    row("STATUS 00", "CR0\r", "00\r", " Power ON");
    row("STATUS 80", "CR0\r", "80\r", " Stand by");
    row("STATUS 40", "CR0\r", "40\r", " Count down");
    row("STATUS 20", "CR0\r", "20\r", " Cooling down");
    row("STATUS 10", "CR0\r", "10\r", " Power abnormality");
    row("STATUS 88", "CR0\r", "88\r", " Temperature abnormality");
    row("STATUS 28", "CR0\r", "28\r", " Temperature abnormality");
    row("STATUS 02", "CR0\r", "02\r", " Key input prohibition");
    row("STATUS no CR needed", "CR0\r", "80", " Stand by");
    row("STATUS partial", "CR0\r", "8", nullptr);
    row("STATUS unknown", "CR0\r", "99\r", nullptr);
    row("STATUS ack", "CR0\r", "\x06\r", nullptr);
    row("STATUS extra digits ignored", "CR0\r", "8012\r", " Stand by");
    row("STATUS lower-case query is not a query", "cr0\r", "80\r", nullptr);
    row("STATUS without CR is not a query", "CR0", "80\r", nullptr);
    row("STATUS with two CRs is not a query", "CR0\r\r", "80\r", nullptr);

    row("MODE 1", "CR1\r", "1\r", " Computer");
    row("MODE 2", "CR1\r", "2\r", " MCI");
    row("MODE 3", "CR1\r", "3\r", " Video");
    row("MODE first character counts", "CR1\r", "12\r", " Computer");
    row("MODE 4", "CR1\r", "4\r", nullptr);
    row("MODE ack", "CR1\r", "\x06\r", nullptr);

    row("SETTING 11", "CR4\r", "11\r", " Normally");
    row("SETTING 10", "CR4\r", "10\r", " Top/Bottom reversal");
    row("SETTING 01", "CR4\r", "01\r", " Left/Right reversal");
    row("SETTING 00", "CR4\r", "00\r", " Top/Bottom , Left/Right reversal");
    row("SETTING 1", "CR4\r", "1\r", nullptr);

    row("L-TIME four digits", "CR3\r", "0123\r", " 0 1 2 3 Hour");
    row("L-TIME first notification", "CR3\r", "0", " 0  Hour");
    row("L-TIME ack", "CR3\r", "\x06\r", " ACK CR  Hour");
    row("L-TIME nothing yet", "CR3\r", "", "  Hour");
    row("L-TIME control characters", "CR3\r", "\x01\x02\x03\x04", " ? ? ? ? Hour");

    row("other command, status-like reply", "C00\r", "00\r", nullptr);
    row("other command C01", "C01\r", "80\r", nullptr);
    row("nothing sent yet", "", "80\r", nullptr);
}

void TestReplyDecoding::decoded()
{
    QFETCH(QString, sent);
    QFETCH(QString, reply);
    QFETCH(bool, decoded);
    QFETCH(QString, status);

    const std::optional<QString> result = decodeReply(sent, renderText(reply));
    QCOMPARE(result.has_value(), decoded);
    if (decoded)
        QCOMPARE(*result, status);
}

QTEST_APPLESS_MAIN(TestReplyDecoding)
#include "tst_replydecoding.moc"
