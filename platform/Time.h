#pragma once

#include <chrono>
#include <cmath>

namespace korven {

// All waits and timestamps are microseconds of a monotonic clock.
using Micros = std::chrono::microseconds;

// Converts a wait given in seconds (fractions allowed) to whole microseconds.
inline Micros secondsToMicros(double seconds) {
  return Micros(std::llround(seconds * 1e6));
}

}  // namespace korven
