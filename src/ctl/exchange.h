#pragma once

#include "line/judgement.h"
#include "protocol/catalogue.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace koru::ctl {

// How one command fared: judged as the line judges every frame.
using Outcome = line::Outcome;

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

int exitStatusOf(Outcome outcome);

// The line for people: name, code, rendered reply in quotes, decoded words.
// status  CR0  " 8 0 CR "  Stand by
QString formatLine(const Exchange &exchange, const Assessment &assessment);
// The line for scripts: one JSON object, no newline.
QString formatJson(const Exchange &exchange, const Assessment &assessment);

// What went wrong, for standard error; empty when the command was answered.
QString describeFailure(const Exchange &exchange, const Assessment &assessment, Millis replyWait);

} // namespace koru::ctl
