#include "protocol/rendering.h"

#include <QRandomGenerator>
#include <QTest>

using koru::IncrementalRenderer;
using koru::renderText;

class TestRendering : public QObject
{
    Q_OBJECT

private slots:
    void tokens_data();
    void tokens();
    void everyCodeHasOneTokenEndingInABlank();
    void incrementalMatchesWholeRendering();
};

void TestRendering::tokens_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rendered");

    QTest::newRow("empty") << QString() << " ";
    QTest::newRow("command frame") << "C00\r" << " C 0 0 CR ";
    QTest::newRow("status reply") << "80\r" << " 8 0 CR ";
    QTest::newRow("ack") << "\x06\r" << " ACK CR ";
    QTest::newRow("line feed") << "\n" << " LF  ";
    QTest::newRow("nul") << QString(QChar(0)) << " ? ";
    QTest::newRow("tab") << "\t" << " ? ";
    QTest::newRow("escape") << "\x1b" << " ? ";
    QTest::newRow("unit separator 31") << "\x1f" << " ? ";
    QTest::newRow("blank") << " " << "   ";
    QTest::newRow("z is shown") << "z" << " z ";
    QTest::newRow("brace 123") << "{" << " ? ";
    QTest::newRow("tilde 126") << "~" << " ? ";
    QTest::newRow("delete 127") << "\x7f" << " ? ";
    QTest::newRow("latin-1 byte 128") << QString(QChar(0x80)) << " ? ";
    QTest::newRow("latin-1 byte 255") << QString(QChar(0xff)) << " ? ";
    QTest::newRow("upper and lower") << "Az" << " A z ";
    QTest::newRow("mixed reply") << "0\x06\n\r?" << " 0 ACK LF  CR ? ";
}

void TestRendering::tokens()
{
    QFETCH(QString, text);
    QFETCH(QString, rendered);
    QCOMPARE(renderText(text), rendered);
}

void TestRendering::everyCodeHasOneTokenEndingInABlank()
{
    for (char16_t code = 0; code < 256; ++code) {
        const QString rendered = renderText(QString(QChar(code)));
        QVERIFY2(rendered.startsWith(u' ') && rendered.endsWith(u' '), qPrintable(QString::number(code)));
        const QString token = rendered.mid(1);
        if (code >= 32 && code <= 122)
            QCOMPARE(token, QString(QChar(code)) + u' ');
        else if (code != 6 && code != 10 && code != 13)
            QCOMPARE(token, QStringLiteral("? "));
    }
}

void TestRendering::incrementalMatchesWholeRendering()
{
    // The receive buffer grows by appending and is sometimes emptied; the
    // incremental rendering must never drift from the whole one.
    QRandomGenerator random(20261207);
    IncrementalRenderer renderer;
    QString buffer;
    QString shown;
    for (int step = 0; step < 400; ++step) {
        const int action = random.bounded(10);
        if (action == 0) {
            buffer.clear();
        } else if (action == 1) {
            buffer = QStringLiteral("replaced");
        } else {
            const int length = random.bounded(1, 40);
            for (int i = 0; i < length; ++i)
                buffer += QChar(char16_t(random.bounded(256)));
        }
        const koru::RenderUpdate update = renderer.update(buffer);
        if (update.whole)
            shown = update.text;
        else
            shown += update.text;
        QCOMPARE(shown, renderText(buffer));
    }
}

QTEST_APPLESS_MAIN(TestRendering)
#include "tst_rendering.moc"
