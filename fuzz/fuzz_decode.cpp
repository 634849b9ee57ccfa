// The reply decoding, on arbitrary command texts and arbitrary RXD lines, and
// on the rendered form of arbitrary replies, where the expected words follow
// from the first reply characters alone.
#include "fuzzcheck.h"
#include "fuzzinput.h"

#include "protocol/rendering.h"
#include "protocol/replydecoding.h"

#include <QString>
#include <QStringList>

#include <optional>

using koru::decodeReply;
using koru::renderText;

namespace {

const QStringList &powerTexts()
{
    static const QStringList texts = { QStringLiteral(" Power ON"), QStringLiteral(" Stand by"),
                                       QStringLiteral(" Count down"), QStringLiteral(" Cooling down"),
                                       QStringLiteral(" Power abnormality"),
                                       QStringLiteral(" Temperature abnormality"),
                                       QStringLiteral(" Key input prohibition") };
    return texts;
}

const QStringList &inputTexts()
{
    static const QStringList texts = { QStringLiteral(" Computer"), QStringLiteral(" MCI"),
                                       QStringLiteral(" Video") };
    return texts;
}

const QStringList &settingTexts()
{
    static const QStringList texts = { QStringLiteral(" Normally"), QStringLiteral(" Top/Bottom reversal"),
                                       QStringLiteral(" Left/Right reversal"),
                                       QStringLiteral(" Top/Bottom , Left/Right reversal") };
    return texts;
}

// What the projector's reply characters mean, read from the raw reply.
std::optional<QString> powerWords(QStringView raw)
{
    const QStringView two = raw.left(2);
    if (two == u"00") return QStringLiteral(" Power ON");
    if (two == u"80") return QStringLiteral(" Stand by");
    if (two == u"40") return QStringLiteral(" Count down");
    if (two == u"20") return QStringLiteral(" Cooling down");
    if (two == u"10") return QStringLiteral(" Power abnormality");
    if (two == u"88" || two == u"28") return QStringLiteral(" Temperature abnormality");
    if (two == u"02") return QStringLiteral(" Key input prohibition");
    return std::nullopt;
}

std::optional<QString> inputWords(QStringView raw)
{
    const QStringView one = raw.left(1);
    if (one == u"1") return QStringLiteral(" Computer");
    if (one == u"2") return QStringLiteral(" MCI");
    if (one == u"3") return QStringLiteral(" Video");
    return std::nullopt;
}

std::optional<QString> settingWords(QStringView raw)
{
    const QStringView two = raw.left(2);
    if (two == u"11") return QStringLiteral(" Normally");
    if (two == u"10") return QStringLiteral(" Top/Bottom reversal");
    if (two == u"01") return QStringLiteral(" Left/Right reversal");
    if (two == u"00") return QStringLiteral(" Top/Bottom , Left/Right reversal");
    return std::nullopt;
}

QString chooseSendText(FuzzInput &in)
{
    static const char *const known[] = {
        "CR0\r", "CR1\r", "CR3\r", "CR4\r",    // the four queries
        "CR2\r", "C00\r", "C09\r", "CR0",      // not queries
        "cr0\r", "CR0\r\r", " CR0\r", "CR0\n", // near misses must not decode
    };
    const uint8_t pick = in.byte();
    if (pick < 240)
        return QLatin1String(known[pick % 12]);
    return in.text(in.byte() % 8, pick & 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QString sendText = chooseSendText(in);
    const uint8_t how = in.byte();
    const bool wide = how & 1;
    const bool rendered = how & 2; // the RXD line as the panel makes it
    const QString raw = in.rest(wide);
    const QString rxd = rendered ? renderText(raw) : raw;

    const std::optional<QString> words = decodeReply(sendText, rxd);

    if (sendText == u"CR3\r") {
        FUZZ_CHECK(words.has_value());
        FUZZ_CHECK(words->endsWith(QLatin1String(" Hour")));
        FUZZ_CHECK(*words == rxd.left(8) + QLatin1String(" Hour"));
        return 0;
    }
    if (sendText == u"CR0\r") {
        FUZZ_CHECK(!words || powerTexts().contains(*words));
        if (rendered)
            FUZZ_CHECK(words == powerWords(raw));
        return 0;
    }
    if (sendText == u"CR1\r") {
        FUZZ_CHECK(!words || inputTexts().contains(*words));
        if (rendered)
            FUZZ_CHECK(words == inputWords(raw));
        return 0;
    }
    if (sendText == u"CR4\r") {
        FUZZ_CHECK(!words || settingTexts().contains(*words));
        if (rendered)
            FUZZ_CHECK(words == settingWords(raw));
        return 0;
    }
    FUZZ_CHECK(!words.has_value()); // only the four exact query texts are decoded
    return 0;
}
