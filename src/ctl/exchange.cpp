#include "ctl/exchange.h"

#include "protocol/rendering.h"
#include "protocol/replydecoding.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace koru::ctl {

namespace {

constexpr char Cr = 13;
constexpr char AckCr[] = { 6, Cr };  // the acknowledgement of a plain command
constexpr char NakCr[] = { 21, Cr }; // the refusal of a frame

bool isQuery(const Command &command)
{
    return !decodedTexts(command.code).isEmpty()
        || QByteArrayView(command.code) == QByteArrayView(query::LampTime);
}

bool isLampTimeReply(const QByteArray &reply)
{
    return reply.size() == 5 && reply.endsWith(Cr)
        && std::all_of(reply.begin(), reply.end() - 1, [](char c) { return c >= '0' && c <= '9'; });
}

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
    }
    return "";
}

} // namespace

Assessment assess(const Exchange &exchange)
{
    Assessment result;
    const QByteArray &reply = exchange.reply;
    if (reply.isEmpty()) {
        result.rendered = QStringLiteral(" X X X X");
        return result;
    }
    result.rendered = renderText(QString::fromLatin1(reply));
    if (reply == QByteArrayView(NakCr, 2)) {
        result.outcome = Outcome::Refused;
        return result;
    }
    const Command &command = *exchange.command;
    if (!isQuery(command)) {
        result.outcome = reply == QByteArrayView(AckCr, 2) ? Outcome::Answered : Outcome::Unreadable;
        return result;
    }
    // The same decoding as the panel's STATUS line; a script additionally
    // wants the reply complete, and a lamp time made of digits.
    const QString sendText = QString::fromLatin1(frame(command));
    const std::optional<QString> words = decodeReply(sendText, result.rendered);
    const bool lampTime = QByteArrayView(command.code) == QByteArrayView(query::LampTime);
    const bool readable = words && reply.endsWith(Cr) && (!lampTime || isLampTimeReply(reply));
    result.outcome = readable ? Outcome::Answered : Outcome::Unreadable;
    if (readable)
        result.words = words->trimmed();
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
                 isQuery(*exchange.command) ? QStringLiteral("a readable answer to this query")
                                            : QStringLiteral("an acknowledgement"));
    }
    return QString();
}

} // namespace koru::ctl
