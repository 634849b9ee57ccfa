#include "ctl/exchange.h"

#include "protocol/rendering.h"
#include "protocol/replyreading.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace koru::ctl {

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

int exitStatusOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered:
        return 0;
    case Outcome::NoReply:
        return 3;
    case Outcome::Refused:
    case Outcome::Unreadable:
        return 4;
    case Outcome::LineLost:
        return 1;
    }
    return 4;
}

QString formatLine(const Exchange &exchange, const Assessment &assessment)
{
    QString line = QStringLiteral("%1  %2  \"%3\"")
                       .arg(QLatin1String(exchange.command->name), QLatin1String(exchange.command->code),
                            assessment.rendered);
    if (assessment.words)
        line += QStringLiteral("  ") + *assessment.words;
    return line;
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

QString describeFailure(const Exchange &exchange, const Assessment &assessment, Millis replyWait)
{
    const QString what = QStringLiteral("%1 (%2)").arg(QLatin1String(exchange.command->name),
                                                        QLatin1String(exchange.command->code));
    switch (assessment.outcome) {
    case Outcome::Answered:
    case Outcome::LineLost: // the line's own reason says it
        return QString();
    case Outcome::NoReply:
        return QStringLiteral("%1: no reply within %2 ms. Check the cable, the projector's power "
                              "and the line speed.")
            .arg(what)
            .arg(replyWait.count());
    case Outcome::Refused:
        return QStringLiteral("%1: the projector refused the command (NAK).").arg(what);
    case Outcome::Unreadable:
        return QStringLiteral("%1: the reply \"%2\" is not %3. Check the line speed and that this is the "
                              "projector.")
            .arg(what, assessment.rendered,
                 isQueryCode(exchange.command->code) ? QStringLiteral("a readable answer to this query")
                                            : QStringLiteral("an acknowledgement"));
    }
    return QString();
}

} // namespace koru::ctl
