#pragma once

#include "protocol/catalogue.h"
#include "protocol/replyreading.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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

// What an owner gets back for one frame.
struct Result
{
    Outcome outcome = Outcome::NoReply;
    QByteArray frame;                // as sent, CR included
    QByteArray reply;                // raw bytes up to and including the CR
    Millis elapsed { 0 };            // from the send to the CR, the end of the reply wait or the loss
    Millis queued { 0 };             // waiting for the line before the send (a hold's repeat: since it was due)
    std::optional<Reading> reading;  // the four queries, when the reply reads
    QString lineLostReason;          // LineLost: why, for the owner to word (see ProjectorLine::lost())
};

// How `reply` (what came within the reply wait) answers `frame`: a plain
// command wants exactly ACK CR, a query one of its rows; NAK CR is a refusal
// of either. Every owner of a line, and koru-ctl, judge by this alone. The
// result holds the frame, the reply, the outcome and the reading; the line
// adds its times.
Result judgeReply(QByteArrayView frame, QByteArrayView reply);

// A query's reply in the words of the panel's STATUS line, without their
// leading blank ("Stand by", "0 1 2 3 Hour"); none unless the reply read.
std::optional<QString> replyWords(const Result &result);

} // namespace koru::line
