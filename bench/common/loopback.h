#pragma once

#include <cstdint>

namespace koru::bench {

// A loopback port nobody listens on at the moment of asking.
uint16_t freeLoopbackPort();

} // namespace koru::bench
