#pragma once

#include "protocol/replyreading.h"

#include <QByteArrayView>

#include <optional>

namespace koru::line {

// How one frame fared on the line.
enum class Outcome {
    Answered,   // ACK CR, or a query reply that reads
    NoReply,    // nothing came within the reply wait
    Refused,    // NAK CR
    Unreadable, // something came, but not an acknowledgement or a readable reply
    LineLost,   // the line went (or was not open) before the frame was answered
};

struct Judgement
{
    Outcome outcome = Outcome::NoReply;
    std::optional<Reading> reading; // the four queries, when the reply reads
};

// How `reply` (what came within the reply wait) answers `frame`: a plain
// command wants exactly ACK CR, a query one of its rows; NAK CR is a refusal
// of either. Every owner of a line, and koru-ctl, judge by this alone.
Judgement judgeReply(QByteArrayView frame, QByteArrayView reply);

} // namespace koru::line
