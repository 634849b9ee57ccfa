#pragma once

#include "line/judgement.h"
#include "protocol/catalogue.h"

#include <QString>

namespace koru::line {

// One command of the catalogue and what the line gave back for it: the
// record koru-ctl prints and the bridge publishes as an MQTT command's result.
struct Exchange
{
    const Command *command = nullptr;
    Result result;
};

// The reply as the RXD line shows it; the no-reply text when nothing came.
QString renderedReply(const Result &result);

// One JSON object, no newline: koru-ctl --json prints it, the bridge
// publishes it as a command's result.
QString formatJson(const Exchange &exchange);

} // namespace koru::line
