#pragma once

#include "line/exchange.h"
#include "protocol/catalogue.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace koru::ctl {

// How one command fared: judged as the line judges every frame.
using Outcome = line::Outcome;

// The command, its reply and the judgement of it live with the line, so
// that the bridge reports a command in the very words koru-ctl prints.
using line::Assessment;
using line::Exchange;
using line::assess;
using line::formatJson;

int exitStatusOf(Outcome outcome);

// The line for people: name, code, rendered reply in quotes, decoded words.
// status  CR0  " 8 0 CR "  Stand by
QString formatLine(const Exchange &exchange, const Assessment &assessment);

// What went wrong, for standard error; empty when the command was answered.
QString describeFailure(const Exchange &exchange, const Assessment &assessment, Millis replyWait);

} // namespace koru::ctl
