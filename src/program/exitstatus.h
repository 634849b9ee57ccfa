#pragma once

namespace koru::program {

// The exit statuses every program shares; a tool adds its own from 3 up.
namespace exitstatus {
inline constexpr int Success = 0;
inline constexpr int Failure = 1; // it could not start, or its work failed
inline constexpr int Usage = 2;   // the command line was wrong
} // namespace exitstatus

} // namespace koru::program
