#pragma once

#include "serial/commresult.h"

#include <QString>

namespace koru::ctl {

// koru-ctl's words for a port that could not be opened: the address as it
// was given with --port, and advice that names koru-ctl's own options
// (--port, --list-ports) only.
QString openFailureMessage(const OpenFailure &failure);

// The message of a failed step of opening the port: the failure worded as
// above when it is an open failure, the port component's message otherwise.
QString portFailureMessage(const CommResult &result);

// A line lost during the run: the port as given with --port, and the line's
// reason.
QString lineLostMessage(const QString &port, const QString &reason);

} // namespace koru::ctl
