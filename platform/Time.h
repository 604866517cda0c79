#pragma once

#include <chrono>

namespace korven {

// All waits and timestamps are microseconds of a monotonic clock.
using Micros = std::chrono::microseconds;

// Converts a wait given in seconds (fractions allowed) to whole microseconds.
inline Micros secondsToMicros(double seconds) {
  return Micros(static_cast<long long>(seconds * 1e6 + 0.5));
}

}  // namespace korven
