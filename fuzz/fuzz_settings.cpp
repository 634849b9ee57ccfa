// The line settings parser: any string at all is either refused with a reason
// or accepted, and an accepted string means exactly what it says: written
// back in its plain form it reads the same, and the plain form differs from
// the input only by the case of the parity letter and leading zeros of the
// speed.
#include "fuzzcheck.h"
#include "fuzzinput.h"

#include "serial/commsettings.h"

#include <QString>
#include <QStringList>

using koru::LineSettings;
using koru::parseCommSettings;

namespace {

QString plainForm(const LineSettings &s)
{
    QChar parity;
    switch (s.parity) {
    case QSerialPort::NoParity: parity = u'N'; break;
    case QSerialPort::EvenParity: parity = u'E'; break;
    case QSerialPort::OddParity: parity = u'O'; break;
    case QSerialPort::MarkParity: parity = u'M'; break;
    case QSerialPort::SpaceParity: parity = u'S'; break;
    default: FUZZ_CHECK(!"parity outside the five letters");
    }
    FUZZ_CHECK(s.dataBits >= QSerialPort::Data5 && s.dataBits <= QSerialPort::Data8);
    QString stop;
    switch (s.stopBits) {
    case QSerialPort::OneStop: stop = QStringLiteral("1"); break;
    case QSerialPort::OneAndHalfStop: stop = QStringLiteral("1.5"); break;
    case QSerialPort::TwoStop: stop = QStringLiteral("2"); break;
    default: FUZZ_CHECK(!"stop bits outside 1, 1.5, 2");
    }
    return QStringLiteral("%1,%2,%3,%4").arg(s.baudRate).arg(parity).arg(int(s.dataBits)).arg(stop);
}

void check(const QString &text)
{
    const koru::ParsedSettings parsed = parseCommSettings(text);
    if (!parsed.settings) {
        FUZZ_CHECK(!parsed.error.isEmpty()); // a refusal always says why
        return;
    }
    FUZZ_CHECK(parsed.error.isEmpty());
    const LineSettings &s = *parsed.settings;
    FUZZ_CHECK(s.baudRate >= 1 && s.baudRate <= 4000000);

    const QString plain = plainForm(s);
    const koru::ParsedSettings again = parseCommSettings(plain);
    FUZZ_CHECK(again.settings.has_value());
    FUZZ_CHECK(*again.settings == s);

    QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4);
    while (fields[0].size() > 1 && fields[0].startsWith(u'0'))
        fields[0].remove(0, 1);
    fields[1] = fields[1].toUpper();
    FUZZ_CHECK(fields.join(u',') == plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Latin-1 reaches every byte; UTF-8 reaches the rest of Unicode, fullwidth
    // and other non-ASCII digits among them.
    check(QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size)));
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    FuzzInput in(data, size);
    check(in.rest(true));
    return 0;
}
