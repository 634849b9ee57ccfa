#include "protocol/replyreading.h"

#include "protocol/catalogue.h"
#include "protocol/rendering.h"
#include "protocol/replytable.h"

#include <algorithm>

namespace koru {

const std::array<QueryReplies, 4> &queryReplies()
{
    static const std::array<QueryReplies, 4> tables = { {
        { query::Status, 2,
          { { "00", PowerState::On, u" Power ON" },
            { "80", PowerState::StandBy, u" Stand by" },
            { "40", PowerState::CountDown, u" Count down" },
            { "20", PowerState::CoolingDown, u" Cooling down" },
            { "10", PowerState::PowerAbnormality, u" Power abnormality" },
            { "88", PowerState::TemperatureAbnormality, u" Temperature abnormality" },
            { "28", PowerState::TemperatureAbnormality, u" Temperature abnormality" },
            { "02", PowerState::KeyInputProhibition, u" Key input prohibition" } } },
        { query::Mode, 1,
          { { "1", Input::Computer, u" Computer" },
            { "2", Input::Mci, u" MCI" },
            { "3", Input::Video, u" Video" } } },
        { query::Setting, 2,
          { { "11", ImageSetting::Normal, u" Normally" },
            { "10", ImageSetting::TopBottomReversal, u" Top/Bottom reversal" },
            { "01", ImageSetting::LeftRightReversal, u" Left/Right reversal" },
            { "00", ImageSetting::BothReversed, u" Top/Bottom , Left/Right reversal" } } },
        { query::LampTime, 4, {}, u" Hour" },
    } };
    return tables;
}

const QueryReplies *queryRepliesOf(QByteArrayView code)
{
    for (const QueryReplies &table : queryReplies()) {
        if (code == QByteArrayView(table.code))
            return &table;
    }
    return nullptr;
}

bool isQueryCode(QByteArrayView code)
{
    return queryRepliesOf(code) != nullptr;
}

std::optional<Reading> readReply(QByteArrayView code, QByteArrayView reply)
{
    const QueryReplies *table = queryRepliesOf(code);
    if (!table || reply.size() != table->digits + 1 || !reply.endsWith(kCr))
        return std::nullopt;
    const QByteArrayView digits = reply.first(table->digits);
    if (table->rows.empty()) {
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        return LampHours { digits.toInt() };
    }
    for (const ReplyRow &row : table->rows) {
        if (digits == QByteArrayView(row.digits))
            return row.reading;
    }
    return std::nullopt;
}

QString readingWords(const Reading &reading)
{
    if (const auto *lamp = std::get_if<LampHours>(&reading)) {
        const QString digits = QStringLiteral("%1").arg(lamp->hours, 4, 10, QLatin1Char('0'));
        return renderText(digits).chopped(1) + QString::fromUtf16(queryRepliesOf(query::LampTime)->words);
    }
    for (const QueryReplies &table : queryReplies()) {
        for (const ReplyRow &row : table.rows) {
            if (row.reading == reading)
                return QString::fromUtf16(row.words);
        }
    }
    return QString();
}

} // namespace koru
