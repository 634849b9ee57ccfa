#include "line/exchange.h"

#include "protocol/rendering.h"
#include "protocol/replyreading.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace koru::line {

namespace {

const char *outcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered:
        return "answered";
    case Outcome::NoReply:
        return "no-reply";
    case Outcome::Refused:
        return "refused";
    case Outcome::Unreadable:
        return "unreadable";
    case Outcome::LineLost:
        return "line-lost";
    }
    return "";
}

} // namespace

QString renderedReply(const Result &result)
{
    if (result.reply.isEmpty())
        return QLatin1String(kNoReplyText);
    return renderText(QString::fromLatin1(result.reply));
}

QString formatJson(const Exchange &exchange)
{
    const Result &result = exchange.result;
    const std::optional<QString> words = replyWords(result);
    QJsonObject object;
    object.insert(QStringLiteral("name"), QLatin1String(exchange.command->name));
    object.insert(QStringLiteral("code"), QLatin1String(exchange.command->code));
    object.insert(QStringLiteral("reply_hex"), QString::fromLatin1(result.reply.toHex()));
    object.insert(QStringLiteral("rendered"), renderedReply(result));
    object.insert(QStringLiteral("words"), words ? QJsonValue(*words) : QJsonValue());
    object.insert(QStringLiteral("elapsed_ms"), qint64(result.elapsed.count()));
    object.insert(QStringLiteral("queued_ms"), qint64(result.queued.count()));
    object.insert(QStringLiteral("result"), QLatin1String(outcomeWord(result.outcome)));
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace koru::line
