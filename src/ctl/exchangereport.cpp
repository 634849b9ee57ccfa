#include "ctl/exchangereport.h"

#include "ctl/ctlcommandline.h"
#include "protocol/replyreading.h"

namespace koru::ctl {

using line::Outcome;

int exitStatusOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered:
        return exitcode::Answered;
    case Outcome::NoReply:
        return exitcode::NoReply;
    case Outcome::Refused:
    case Outcome::Unreadable:
        return exitcode::BadReply;
    case Outcome::LineLost:
        return exitcode::PortFailed;
    }
    return exitcode::BadReply;
}

QString formatLine(const line::Exchange &exchange)
{
    QString text = QStringLiteral("%1  %2  \"%3\"")
                       .arg(QLatin1String(exchange.command->name), QLatin1String(exchange.command->code),
                            line::renderedReply(exchange.result));
    if (const std::optional<QString> words = line::replyWords(exchange.result))
        text += QStringLiteral("  ") + *words;
    return text;
}

QString describeFailure(const line::Exchange &exchange, Millis replyWait)
{
    const QString what = QStringLiteral("%1 (%2)").arg(QLatin1String(exchange.command->name),
                                                        QLatin1String(exchange.command->code));
    switch (exchange.result.outcome) {
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
            .arg(what, line::renderedReply(exchange.result),
                 isQueryCode(exchange.command->code) ? QStringLiteral("a readable answer to this query")
                                            : QStringLiteral("an acknowledgement"));
    }
    return QString();
}

} // namespace koru::ctl
