#pragma once

#include "line/exchange.h"

#include <QString>

namespace koru::ctl {

// koru-ctl's exit status for a command that fared so.
int exitStatusOf(line::Outcome outcome);

// The line for people: name, code, rendered reply in quotes, decoded words.
// status  CR0  " 8 0 CR "  Stand by
QString formatLine(const line::Exchange &exchange);

// What went wrong, for standard error; empty when the command was answered.
QString describeFailure(const line::Exchange &exchange, Millis replyWait);

} // namespace koru::ctl
