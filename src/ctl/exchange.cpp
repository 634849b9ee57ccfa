#include "ctl/exchange.h"

#include "protocol/replyreading.h"

namespace koru::ctl {

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
