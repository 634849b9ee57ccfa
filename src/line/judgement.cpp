#include "line/judgement.h"

namespace koru::line {

namespace {

Outcome outcomeOf(QByteArrayView code, QByteArrayView reply, const std::optional<Reading> &reading)
{
    if (reply.isEmpty())
        return Outcome::NoReply;
    if (reply == QByteArrayView(kNakCr))
        return Outcome::Refused;
    if (!isQueryCode(code))
        return reply == QByteArrayView(kAckCr) ? Outcome::Answered : Outcome::Unreadable;
    return reading ? Outcome::Answered : Outcome::Unreadable;
}

} // namespace

Result judgeReply(QByteArrayView frame, QByteArrayView reply)
{
    const QByteArrayView code = frame.endsWith(kCr) ? frame.chopped(1) : frame;
    Result result;
    result.frame = frame.toByteArray();
    result.reply = reply.toByteArray();
    result.reading = readReply(code, reply);
    result.outcome = outcomeOf(code, reply, result.reading);
    return result;
}

std::optional<QString> replyWords(const Result &result)
{
    if (result.outcome != Outcome::Answered || !result.reading)
        return std::nullopt;
    return readingWords(*result.reading).trimmed();
}

} // namespace koru::line
