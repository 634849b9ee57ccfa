#pragma once

#include "line/judgement.h"
#include "protocol/catalogue.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace koru::line {

// One command sent and what came back for it.
struct Exchange
{
    const Command *command = nullptr;
    QByteArray reply; // up to and including its CR, or what the reply wait ended
    Millis elapsed { 0 }; // from the send to the CR or to the end of the reply wait
};

struct Assessment
{
    Outcome outcome = Outcome::NoReply;
    QString rendered;             // as the RXD line shows it; the no-reply text for no reply
    std::optional<QString> words; // a query's decoded words, without the leading blank
};

// Judges a reply the way a script needs it: a plain command wants exactly
// ACK CR; a query wants exactly one of its rows (the lamp time: four digits).
Assessment assess(const Exchange &exchange);

// One JSON object, no newline: koru-ctl --json prints it, the bridge
// publishes it as a command's result.
QString formatJson(const Exchange &exchange, const Assessment &assessment);

} // namespace koru::line
