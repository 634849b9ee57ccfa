// The simulated projector without its line: frames, state, replies and the
// pacing arithmetic, with time handed in explicitly.
#include "protocol/catalogue.h"
#include "sim/framereader.h"
#include "sim/linepacer.h"
#include "sim/noise.h"
#include "sim/projectorstate.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <array>

using namespace std::chrono_literals;
using koru::sim::Frame;
using koru::sim::FrameReader;
using koru::sim::LinePacer;
using koru::sim::PowerState;
using koru::sim::ProjectorSetup;
using koru::sim::ProjectorState;
using ms = std::chrono::milliseconds;

namespace {

// The panel's 45 codes, written out here independently of the command
// catalogue the simulator reads, so that a code lost or changed there shows up.
const std::array<const char *, 45> PanelCodes = {
    "C00", "C02", "C05", "C06", "C07", "C1C", "C1D", "C0B", "C0C", "C0D", "C0E",
    "C43", "C44", "C0F", "C10", "C59", "C5A", "C09", "C0A", "C47", "C46", "C4B",
    "C4A", "C20", "C21", "C30", "C31", "C8E", "C8F", "C3C", "C3D", "C3B", "C3A",
    "C3F", "C3E", "C80", "C87", "C89", "C1F", "C1E", "C01", "CR0", "CR1", "CR3", "CR4",
};

const QByteArray Ack("\x06\r", 2);
const QByteArray Nak("\x15\r", 2);

// Feeds `bytes` at `now` and returns the replies, concatenated.
QByteArray exchange(FrameReader &reader, ProjectorState &state, const QByteArray &bytes, ms now)
{
    QByteArray replies;
    for (const Frame &frame : reader.feed(bytes, now))
        replies += state.answer(frame, now);
    return replies;
}

// A timed script: at each time the bytes go in and the reply must come out.
struct Step
{
    qint64 at;
    QByteArray send;
    QByteArray expect;
};
using Script = QList<Step>;

void runScript(const ProjectorSetup &setup, const Script &script)
{
    FrameReader reader;
    ProjectorState state(setup, 0ms);
    for (const Step &step : script) {
        const QByteArray got = exchange(reader, state, step.send, ms(step.at));
        if (got != step.expect) {
            const QByteArray where = "at " + QByteArray::number(step.at) + " ms, sent " + step.send.toPercentEncoding()
                + ": got " + got.toPercentEncoding() + ", expected " + step.expect.toPercentEncoding();
            QFAIL(where.constData());
        }
    }
}

ProjectorSetup quickSetup()
{
    ProjectorSetup setup;
    setup.countDown = 3000ms;
    setup.coolingDown = 5000ms;
    setup.lampHourLength = 1000ms;
    return setup;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestProjectorState : public QObject
{
    Q_OBJECT

private slots:
    void exactlyTheFortyFiveCodesAreValid();
    void everyCodeIsAnswered_data();
    void everyCodeIsAnswered();
    void malformedFrameIsRejected_data();
    void malformedFrameIsRejected();
    void streamResynchronises_data();
    void streamResynchronises();
    void partialFrameBufferStaysBounded();
    void scripts_data();
    void scripts();
    void settingAtStart_data();
    void settingAtStart();
    void pacerKeepsLineRate_data();
    void pacerKeepsLineRate();
    void noiseMixesEveryKindOfByte();
};

// Exactly the panel's 45 codes are frames the projector acts on: every
// three-character string of printable characters is tried.
void TestProjectorState::exactlyTheFortyFiveCodesAreValid()
{
    const QSet<QByteArray> expected(PanelCodes.begin(), PanelCodes.end());
    QCOMPARE(expected.size(), 45);
    QSet<QByteArray> accepted;
    QByteArray code(3, ' ');
    for (char a = ' '; a <= '~'; ++a) {
        for (char b = ' '; b <= '~'; ++b) {
            for (char c = ' '; c <= '~'; ++c) {
                code[0] = a;
                code[1] = b;
                code[2] = c;
                if (koru::isCommandCode(code))
                    accepted.insert(code);
            }
        }
    }
    QCOMPARE(accepted, expected);
    QVERIFY(!koru::isCommandCode("C0"));
    QVERIFY(!koru::isCommandCode("C000"));
    QVERIFY(!koru::isCommandCode(QByteArrayView()));
}

void TestProjectorState::everyCodeIsAnswered_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("reply");

    for (const char *code : PanelCodes) {
        if (QByteArrayView(code).startsWith("CR"))
            continue;
        QTest::newRow(code) << QByteArray(code) << Ack;
    }
    // The four queries answer with status digits, in standby at start.
    QTest::newRow("CR0") << QByteArray("CR0") << QByteArray("80\r");
    QTest::newRow("CR1") << QByteArray("CR1") << QByteArray("1\r");
    QTest::newRow("CR3") << QByteArray("CR3") << QByteArray("0000\r");
    QTest::newRow("CR4") << QByteArray("CR4") << QByteArray("11\r");
}

void TestProjectorState::everyCodeIsAnswered()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, reply);
    FrameReader reader;
    ProjectorState state;
    QCOMPARE(exchange(reader, state, code + '\r', 0ms), reply);
    QVERIFY(koru::isCommandCode(code));
}

void TestProjectorState::malformedFrameIsRejected_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("replies");

    QTest::newRow("too short") << QByteArray("C0\r") << Nak;
    QTest::newRow("too long") << QByteArray("C000\r") << Nak;
    QTest::newRow("code and LF") << QByteArray("CR0\n\r") << Nak;
    QTest::newRow("LF before code") << QByteArray("\nCR0\r") << Nak;
    QTest::newRow("lower case") << QByteArray("cr0\r") << Nak;
    QTest::newRow("mixed case") << QByteArray("c0B\r") << Nak;
    QTest::newRow("unknown code") << QByteArray("C99\r") << Nak;
    QTest::newRow("unknown query") << QByteArray("CR2\r") << Nak;
    QTest::newRow("CR alone") << QByteArray("\r") << Nak;
    QTest::newRow("two CRs") << QByteArray("\r\r") << Nak + Nak;
    QTest::newRow("blank padded") << QByteArray(" C00\r") << Nak;
    QTest::newRow("NUL inside") << QByteArray("C\0000\r", 4) << Nak;
    QTest::newRow("bytes above 127") << QByteArray("\x80\xff\xc3\r") << Nak;
    QTest::newRow("no CR") << QByteArray("CR0") << QByteArray();
}

// A rejected frame gets NAK CR and leaves the projector as it was.
void TestProjectorState::malformedFrameIsRejected()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, replies);
    FrameReader reader;
    ProjectorState state(quickSetup());
    QCOMPARE(exchange(reader, state, bytes, 0ms), replies);
    QCOMPARE(state.power(10s), PowerState::Standby);
    QCOMPARE(state.input(), '1');
}

void TestProjectorState::streamResynchronises_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QByteArray>("replies");

    QByteArray noise(5000, 'x');
    for (int i = 0; i < noise.size(); i += 7)
        noise[i] = char(0x80 + i % 100);

    QTest::newRow("garbage then queries")
        << QList<QByteArray> { QByteArray("xx\x00\xff\r", 5) + "CR0\rCR1\r" } << QList<qint64> { 0 }
        << Nak + "80\r1\r";
    QTest::newRow("long garbage then query")
        << QList<QByteArray> { noise, "\rCR0\r" } << QList<qint64> { 0, 10 } << Nak + "80\r";
    QTest::newRow("frame split over reads")
        << QList<QByteArray> { "C", "R", "0", "\r" } << QList<qint64> { 0, 1, 2, 3 } << QByteArray("80\r");
    QTest::newRow("many frames in one read")
        << QList<QByteArray> { "C06\rCR1\rC07\rCR1\r" } << QList<qint64> { 0 } << Ack + "2\r" + Ack + "3\r";
    QTest::newRow("stale partial frame dropped")
        << QList<QByteArray> { "CR", "CR0\r" } << QList<qint64> { 0, 2000 } << QByteArray("80\r");
    QTest::newRow("slow but not stale")
        << QList<QByteArray> { "CR", "0\r" } << QList<qint64> { 0, 200 } << QByteArray("80\r");
    QTest::newRow("garbage glued to a code")
        << QList<QByteArray> { QByteArray("\xff\x01", 2) + "CR0\rCR1\r" } << QList<qint64> { 0 } << Nak + "1\r";
    QTest::newRow("frame without CR spoils the next")
        << QList<QByteArray> { "CR0", "CR0\r", "CR0\r" } << QList<qint64> { 0, 10, 20 } << Nak + "80\r";
}

void TestProjectorState::streamResynchronises()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<qint64>, times);
    QFETCH(QByteArray, replies);
    FrameReader reader;
    ProjectorState state;
    QByteArray got;
    for (qsizetype i = 0; i < chunks.size(); ++i)
        got += exchange(reader, state, chunks.at(i), ms(times.at(i)));
    QCOMPARE(got, replies);
}

void TestProjectorState::partialFrameBufferStaysBounded()
{
    FrameReader reader;
    for (int i = 0; i < 1000; ++i)
        QVERIFY(reader.feed(QByteArray(1000, 'A'), ms(i)).isEmpty());
    const QList<Frame> frames = reader.feed("\r", 1000ms);
    QCOMPARE(frames.size(), 1);
    QVERIFY(frames.first().overlong);
    QCOMPARE(frames.first().body, QByteArray("AAA"));
    QVERIFY(!reader.hasPartial());
}

void TestProjectorState::scripts_data()
{
    QTest::addColumn<ProjectorSetup>("setup");
    QTest::addColumn<Script>("script");

    const ProjectorSetup setup = quickSetup();

    QTest::newRow("power on counts down, then on") << setup << Script {
        { 0, "CR0\r", "80\r" }, { 100, "C00\r", Ack }, { 100, "CR0\r", "40\r" },
        { 3099, "CR0\r", "40\r" }, { 3100, "CR0\r", "00\r" }, { 60000, "CR0\r", "00\r" } };
    QTest::newRow("C02 cools down, then standby") << setup << Script {
        { 0, "C00\r", Ack }, { 4000, "C02\r", Ack }, { 4000, "CR0\r", "20\r" },
        { 8999, "CR0\r", "20\r" }, { 9000, "CR0\r", "80\r" } };
    QTest::newRow("C01 cools down too") << setup << Script {
        { 0, "C00\r", Ack }, { 3000, "C01\r", Ack }, { 3001, "CR0\r", "20\r" }, { 8000, "CR0\r", "80\r" } };
    QTest::newRow("off during count down") << setup << Script {
        { 0, "C00\r", Ack }, { 1000, "C02\r", Ack }, { 1500, "CR0\r", "20\r" }, { 6000, "CR0\r", "80\r" } };
    QTest::newRow("on during cooling is ignored") << setup << Script {
        { 0, "C00\r", Ack }, { 3000, "C02\r", Ack }, { 4000, "C00\r", Ack }, { 4000, "CR0\r", "20\r" },
        { 8000, "CR0\r", "80\r" }, { 20000, "CR0\r", "80\r" } };
    QTest::newRow("second on does not restart count down") << setup << Script {
        { 0, "C00\r", Ack }, { 2000, "C00\r", Ack }, { 3000, "CR0\r", "00\r" } };
    QTest::newRow("off in standby stays standby") << setup << Script {
        { 0, "C01\r", Ack }, { 0, "C02\r", Ack }, { 10, "CR0\r", "80\r" } };
    QTest::newRow("transitions seen late") << setup << Script {
        { 0, "C00\r", Ack }, { 3000, "C02\r", Ack }, { 100000, "CR0\r", "80\r" } };

    QTest::newRow("input changes") << setup << Script {
        { 0, "CR1\r", "1\r" }, { 1, "C06\r", Ack }, { 2, "CR1\r", "2\r" }, { 3, "C07\r", Ack },
        { 4, "CR1\r", "3\r" }, { 5, "C05\r", Ack }, { 6, "CR1\r", "1\r" } };
    ProjectorSetup video = setup;
    video.input = '3';
    QTest::newRow("input at start") << video << Script { { 0, "CR1\r", "3\r" } };

    // One lamp hour is one second here; the lamp burns from power on
    // (count down included) until cooling starts.
    QTest::newRow("lamp counts while lit") << setup << Script {
        { 0, "CR3\r", "0000\r" }, { 5000, "C00\r", Ack }, { 7999, "CR3\r", "0002\r" },
        { 8000, "CR3\r", "0003\r" }, { 17000, "C02\r", Ack }, { 17000, "CR3\r", "0012\r" },
        { 60000, "CR3\r", "0012\r" }, { 60000, "C00\r", Ack }, { 61500, "CR3\r", "0013\r" } };
    ProjectorSetup worn = setup;
    worn.lampHours = 9997;
    QTest::newRow("lamp hours stop at 9999") << worn << Script {
        { 0, "CR3\r", "9997\r" }, { 0, "C00\r", Ack }, { 2000, "CR3\r", "9999\r" },
        { 50000, "CR3\r", "9999\r" } };
    ProjectorSetup used = setup;
    used.lampHours = 42;
    QTest::newRow("lamp hours at start, four digits") << used << Script { { 0, "CR3\r", "0042\r" } };
    QTest::newRow("clock going back changes nothing") << setup << Script {
        { 0, "C00\r", Ack }, { 5000, "CR3\r", "0005\r" }, { 1000, "CR3\r", "0005\r" }, { 1000, "CR0\r", "00\r" } };
}

void TestProjectorState::scripts()
{
    QFETCH(ProjectorSetup, setup);
    QFETCH(Script, script);
    runScript(setup, script);
}

void TestProjectorState::settingAtStart_data()
{
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("normal") << QByteArray("11") << QByteArray("11\r");
    QTest::newRow("top/bottom") << QByteArray("10") << QByteArray("10\r");
    QTest::newRow("left/right") << QByteArray("01") << QByteArray("01\r");
    QTest::newRow("both") << QByteArray("00") << QByteArray("00\r");
    QTest::newRow("invalid falls back") << QByteArray("12") << QByteArray("11\r");
}

void TestProjectorState::settingAtStart()
{
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, reply);
    ProjectorSetup setup;
    setup.setting = setting;
    runScript(setup, Script { { 0, "CR4\r", reply }, { 0, "C00\r", Ack }, { 9000, "CR4\r", reply } });
}

void TestProjectorState::pacerKeepsLineRate_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("tickMs");
    QTest::addColumn<int>("lateEvery"); // every n-th tick comes 30 ms late; 0 never
    QTest::addColumn<int>("expected"); // characters in one second

    QTest::newRow("19200, 5 ms ticks") << 19200 << 5 << 0 << 1920;
    QTest::newRow("9600, 5 ms ticks") << 9600 << 5 << 0 << 960;
    QTest::newRow("19200, 7 ms ticks") << 19200 << 7 << 0 << 1920;
    QTest::newRow("19200, late ticks") << 19200 << 5 << 10 << 1920;
    QTest::newRow("9600, 1 ms ticks") << 9600 << 1 << 0 << 960;
}

// Sending everything allowed at each tick of a steady or jittery timer carries
// the line rate on average, neither more nor less.
void TestProjectorState::pacerKeepsLineRate()
{
    QFETCH(int, baud);
    QFETCH(int, tickMs);
    QFETCH(int, lateEvery);
    QFETCH(int, expected);

    LinePacer pacer(baud);
    const std::chrono::nanoseconds start = 1s;
    pacer.resume(start);
    qint64 sent = 0;
    int tick = 0;
    for (std::chrono::nanoseconds now = start; now < start + 1s;) {
        const qsizetype n = pacer.allowance(now);
        pacer.sent(n, now);
        sent += n;
        ++tick;
        now += ms(tickMs) + (lateEvery && tick % lateEvery == 0 ? 30ms : 0ms);
    }
    QVERIFY2(qAbs(sent - expected) <= 2 + expected / 100, QByteArray::number(sent).constData());
}

void TestProjectorState::noiseMixesEveryKindOfByte()
{
    QRandomGenerator first(7);
    QRandomGenerator second(7);
    const QByteArray noise = koru::sim::noiseBytes(first, 300);
    QCOMPARE(noise.size(), 300);
    QCOMPARE(koru::sim::noiseBytes(second, 300), noise);

    int printable = 0, control = 0, high = 0;
    for (const char c : noise) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32)
            ++control;
        else if (byte >= 128)
            ++high;
        else if (byte < 127)
            ++printable;
    }
    QVERIFY(printable > 50);
    QVERIFY(control > 50);
    QVERIFY(high > 50);
}

QTEST_GUILESS_MAIN(TestProjectorState)
#include "tst_projectorstate.moc"
