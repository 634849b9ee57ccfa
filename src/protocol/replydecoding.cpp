#include "protocol/replydecoding.h"

#include "protocol/catalogue.h"

#include <QLatin1StringView>

#include <array>
#include <vector>

namespace koru {
namespace {

struct DecodeRow
{
    QStringView prefix; // as rendered: " 8 0" for the reply "80"
    QStringView status;
};

// A query with a lamp time reads digits and has no rows.
struct QueryTable
{
    const char *query; // its code; the command text is the code and a CR
    qsizetype prefixLength;
    std::vector<DecodeRow> rows;
    bool lampTime = false;
};

// Tested in this order; SendText holds one command, so at most one applies.
const std::array<QueryTable, 4> &queryTables()
{
    static const std::array<QueryTable, 4> tables = { {
        { query::Status, 4,
          { { u" 0 0", u" Power ON" },
            { u" 8 0", u" Stand by" },
            { u" 4 0", u" Count down" },
            { u" 2 0", u" Cooling down" },
            { u" 1 0", u" Power abnormality" },
            { u" 8 8", u" Temperature abnormality" },
            { u" 2 8", u" Temperature abnormality" },
            { u" 0 2", u" Key input prohibition" } } },
        { query::Mode, 2,
          { { u" 1", u" Computer" },
            { u" 2", u" MCI" },
            { u" 3", u" Video" } } },
        { query::Setting, 4,
          { { u" 1 1", u" Normally" },
            { u" 1 0", u" Top/Bottom reversal" },
            { u" 0 1", u" Left/Right reversal" },
            { u" 0 0", u" Top/Bottom , Left/Right reversal" } } },
        { query::LampTime, 8, {}, true },
    } };
    return tables;
}

} // namespace

std::optional<QString> decodeReply(QStringView sendText, QStringView rxdLine)
{
    for (const QueryTable &table : queryTables()) {
        if (!sendText.endsWith(u'\r') || sendText.chopped(1) != QLatin1StringView(table.query))
            continue;
        const QStringView taken = rxdLine.left(table.prefixLength);
        if (table.lampTime)
            return taken.toString() + QStringLiteral(" Hour");
        for (const DecodeRow &row : table.rows) {
            if (taken == row.prefix)
                return row.status.toString();
        }
        return std::nullopt;
    }
    return std::nullopt;
}

QStringList decodedTexts(QByteArrayView queryCode)
{
    QStringList texts;
    for (const QueryTable &table : queryTables()) {
        if (queryCode != QByteArrayView(table.query))
            continue;
        for (const DecodeRow &row : table.rows) {
            if (!texts.contains(row.status))
                texts << row.status.toString();
        }
    }
    return texts;
}

} // namespace koru
