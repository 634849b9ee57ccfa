#include "protocol/replydecoding.h"

#include "protocol/replytable.h"

#include <QLatin1StringView>

namespace koru {
namespace {

// Whether the RXD line's start shows these digits: " 8 0" for "80".
bool showsDigits(QStringView taken, const char *digits)
{
    const QByteArrayView wanted(digits);
    if (taken.size() != 2 * wanted.size())
        return false;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (taken[2 * i] != u' ' || taken[2 * i + 1] != QLatin1Char(wanted[i]))
            return false;
    }
    return true;
}

} // namespace

// Tested in table order; SendText holds one command, so at most one applies.
std::optional<QString> decodeReply(QStringView sendText, QStringView rxdLine)
{
    for (const QueryReplies &table : queryReplies()) {
        if (!sendText.endsWith(QLatin1Char(kCr)) || sendText.chopped(1) != QLatin1StringView(table.code))
            continue;
        // Each reply character shows as itself and a blank.
        const QStringView taken = rxdLine.left(2 * table.digits);
        if (table.rows.empty())
            return taken.toString() + QString::fromUtf16(table.words);
        for (const ReplyRow &row : table.rows) {
            if (showsDigits(taken, row.digits))
                return QString::fromUtf16(row.words);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

QStringList decodedTexts(QByteArrayView queryCode)
{
    QStringList texts;
    if (const QueryReplies *table = queryRepliesOf(queryCode)) {
        for (const ReplyRow &row : table->rows) {
            const QString words = QString::fromUtf16(row.words);
            if (!texts.contains(words))
                texts << words;
        }
    }
    return texts;
}

} // namespace koru
