// The monitor's rendering: the incremental renderer that the RXD line uses
// must give exactly what renderText gives for the same buffer, whatever the
// buffer goes through between two notifications (growth, emptying, shrinking,
// replacement), and every rendered text must be well formed.
#include "fuzzcheck.h"
#include "fuzzinput.h"

#include "protocol/rendering.h"

#include <QString>

using koru::IncrementalRenderer;
using koru::renderText;

namespace {

bool isOtherControlOrHigh(char16_t c)
{
    return (c < 32 && c != 6 && c != 10 && c != 13) || c > 122;
}

// Reads the rendered text back token by token and checks each against its
// source character, so a token that is missing, doubled or mis-spelled shows.
void checkWellFormed(const QString &source, const QString &rendered)
{
    FUZZ_CHECK(rendered.startsWith(u' '));
    FUZZ_CHECK(rendered.size() >= 1 + 2 * source.size());
    FUZZ_CHECK(rendered.size() <= 1 + 4 * source.size());
    for (const QChar ch : rendered)
        FUZZ_CHECK(ch.unicode() >= 32 && ch.unicode() <= 122); // nothing unprintable reaches the label

    qsizetype pos = 1;
    for (const QChar ch : source) {
        const char16_t c = ch.unicode();
        const QStringView rest = QStringView(rendered).mid(pos);
        if (c == 6) {
            FUZZ_CHECK(rest.startsWith(u"ACK "));
            pos += 4;
        } else if (c == 13) {
            FUZZ_CHECK(rest.startsWith(u"CR "));
            pos += 3;
        } else if (c == 10) {
            FUZZ_CHECK(rest.startsWith(u"LF  "));
            pos += 4;
        } else {
            FUZZ_CHECK(rest.size() >= 2);
            FUZZ_CHECK(rest[1] == u' ');
            if (isOtherControlOrHigh(c))
                FUZZ_CHECK(rest[0] == u'?');
            else
                FUZZ_CHECK(rest[0] == ch);
            pos += 2;
        }
    }
    FUZZ_CHECK(pos == rendered.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool wide = in.byte() & 1;

    IncrementalRenderer renderer;
    QString shown; // what the RXD line would show, built from the updates
    QString buffer; // plays RecvText
    int steps = 0;
    while (!in.atEnd() && steps++ < 64) {
        const uint8_t op = in.byte();
        switch (op % 5) {
        case 0: // characters arrive
        case 1:
            buffer += in.text(1 + op / 5 % 40, wide);
            break;
        case 2: // the reply wait or a release empties the buffer
            buffer.clear();
            break;
        case 3: // shorter than before (not something the panel does, but the renderer must cope)
            buffer.chop(op / 5 % 8);
            break;
        case 4: // a different buffer of any length
            buffer = in.text(op / 5 % 40, wide);
            break;
        }
        const QString expected = renderText(buffer);
        const koru::RenderUpdate update = renderer.update(buffer);
        if (update.whole)
            shown = update.text;
        else
            shown += update.text;
        FUZZ_CHECK(shown == expected);
        checkWellFormed(buffer, expected);
    }
    return 0;
}
