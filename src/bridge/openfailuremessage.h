#pragma once

#include "serial/commresult.h"

#include <QString>

namespace koru::bridge {

// koru-bridge's words for why a projector's line cannot be opened, to follow
// "cannot be opened: ": the reason, and advice that names only what the
// bridge's user changes (port = in the configuration file, or --port), since
// the bridge keeps trying by itself. A failure that is no open failure keeps
// the port component's message.
QString openFailureMessage(const CommResult &result);

} // namespace koru::bridge
