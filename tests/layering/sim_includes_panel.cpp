// Must not build: the simulator sees only the protocol layer.
#include "panel/reporter.h"
