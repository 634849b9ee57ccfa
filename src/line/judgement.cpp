#include "line/judgement.h"

namespace koru::line {

Judgement judgeReply(QByteArrayView frame, QByteArrayView reply)
{
    if (reply.isEmpty())
        return { Outcome::NoReply, std::nullopt };
    if (reply == QByteArrayView(kNakCr))
        return { Outcome::Refused, std::nullopt };
    const QByteArrayView code = frame.endsWith(kCr) ? frame.chopped(1) : frame;
    if (!isQueryCode(code))
        return { reply == QByteArrayView(kAckCr) ? Outcome::Answered : Outcome::Unreadable, std::nullopt };
    std::optional<Reading> reading = readReply(code, reply);
    return { reading ? Outcome::Answered : Outcome::Unreadable, std::move(reading) };
}

} // namespace koru::line
