#pragma once

#include "platform/Time.h"

namespace korven {

// A moment of the local calendar, as a report names it.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  // Within the second; a report names whole seconds, the night window's
  // arithmetic needs better than that.
  int microsecond = 0;
};

// The calendar clock, for naming moments only: it may jump, so no wait or
// pace is ever measured on it (those use Clock, the monotonic one).
class WallClock {
 public:
  virtual ~WallClock() = default;
  virtual LocalTime now() const = 0;
  // What the calendar will read `fromNow` from now, a change of its offset
  // (summer time) in between taken: an hour may be skipped or repeated.
  virtual LocalTime in(Micros fromNow) const = 0;
};

}  // namespace korven
