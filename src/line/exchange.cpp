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

Assessment assess(const Exchange &exchange)
{
    Assessment result;
    const QByteArray &reply = exchange.reply;
    if (reply.isEmpty()) {
        result.rendered = QLatin1String(kNoReplyText);
        return result;
    }
    result.rendered = renderText(QString::fromLatin1(reply));
    const line::Judgement judgement = line::judgeReply(frame(*exchange.command), reply);
    result.outcome = judgement.outcome;
    // The words the panel's STATUS line shows for the same reply.
    if (judgement.reading)
        result.words = readingWords(*judgement.reading).trimmed();
    return result;
}

QString formatJson(const Exchange &exchange, const Assessment &assessment)
{
    QJsonObject object;
    object.insert(QStringLiteral("name"), QLatin1String(exchange.command->name));
    object.insert(QStringLiteral("code"), QLatin1String(exchange.command->code));
    object.insert(QStringLiteral("reply_hex"), QString::fromLatin1(exchange.reply.toHex()));
    object.insert(QStringLiteral("rendered"), assessment.rendered);
    object.insert(QStringLiteral("words"), assessment.words ? QJsonValue(*assessment.words) : QJsonValue());
    object.insert(QStringLiteral("elapsed_ms"), qint64(exchange.elapsed.count()));
    object.insert(QStringLiteral("result"), QLatin1String(outcomeWord(assessment.outcome)));
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace koru::line
