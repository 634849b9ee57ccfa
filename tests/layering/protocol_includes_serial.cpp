// Must not build: the protocol layer knows nothing of ports.
#include "serial/mscomm.h"
