#pragma once

#include "serial/openfailure.h"

#include <QString>

namespace koru {

// The panel's words for a port that could not be opened, with koru-panel's
// own options (--com1, --list-ports, --save-ports) and the next step: at
// start-up the program ends, so start it again; later, choose the port again.
QString openFailureMessage(const OpenFailure &failure, bool atStartUp);

} // namespace koru
