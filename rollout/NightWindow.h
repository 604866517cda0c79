#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Time.h"
#include "platform/WallClock.h"

namespace korven {

inline constexpr Micros kOneDay(86'400'000'000LL);

// A time of the local day: microseconds since midnight.
Micros timeOfDay(const LocalTime& t);
// "01:14:05" for a time of day; one past midnight is taken round the clock.
std::string clockText(Micros timeOfDay);

// The hours of every night in which a run may stream, in local time; an
// end earlier than the start crosses midnight.
struct NightWindow {
  Micros start{0};
  Micros end{0};
  std::string startText;  // as given: "22:00"
  std::string endText;
};

// "22:00-05:00" or "22:00:00-05:00:30"; nothing when it is no such text, or
// when start and end are the same (no time at all, or a whole day: either
// way not what anyone meant).
std::optional<NightWindow> parseNightWindow(const std::string& text);

// How long after `now` (a time of day) the window opens; 0 while it is open.
Micros untilOpen(const NightWindow& window, Micros now);
// How long the window stays open after `now`; 0 while it is closed.
Micros untilClose(const NightWindow& window, Micros now);

// The wall clock as the night window sees it: whether a stretch of work
// started now would end before the window closes. Without a window every
// stretch fits. The calendar is read anew at each question, so a clock set
// while a run waits is followed.
class WindowClock {
 public:
  WindowClock(const WallClock& calendar, std::optional<NightWindow> window)
      : calendar_(calendar), window_(std::move(window)) {}

  const NightWindow* window() const { return window_ ? &*window_ : nullptr; }
  Micros now() const { return timeOfDay(calendar_.now()); }
  Micros untilOpen() const { return window_ ? korven::untilOpen(*window_, now()) : Micros(0); }
  // Whether `length` from now ends no later than the window's end.
  bool fits(Micros length) const { return fitsAfter(Micros(0), length); }
  // The same for `length` begun `fromNow` from now.
  bool fitsAfter(Micros fromNow, Micros length) const;

 private:
  const WallClock& calendar_;
  std::optional<NightWindow> window_;
};

// The parts of one wave's timetable, as the run was asked to go.
struct WaveTimes {
  Micros stream{0};       // the update, from its click to its end tick (the engine's timetable)
  Micros verdictWait{0};  // at most, after the streams
  Micros pause{0};        // after the wave, when another follows
  Micros connecting{0};   // before a wave after the first: its status heard on connecting
};

// What a wave needs of the window from its click on: its streams, the wait
// for their verdicts, and the pause after it only when another wave follows.
Micros waveNeeds(const WaveTimes& times, bool anotherFollows);

// One wave of the plan, its times as times of day (counted on past midnight).
struct PlannedWave {
  int terminals = 0;
  Micros start{0};       // its click
  Micros streamsEnd{0};  // its end tick
  Micros verdictsBy{0};  // the latest its verdicts are waited for
  bool heldBack = false;
};

// A run's plan made at `now`: whether it waits for the window first, and
// each wave's times by the timetable, no verdict taking longer than its
// wait. The first wave that would not end before the window closes is held
// back with every wave after it; outside the window, everything is held back
// when the run does not wait.
struct Schedule {
  bool waits = false;
  Micros opensIn{0};
  std::vector<PlannedWave> waves;
  int heldBackTerminals() const;
};
Schedule planSchedule(const std::vector<int>& counts, const WaveTimes& times,
                      const WindowClock& clock, bool waitForWindow);

}  // namespace korven
