#include "rollout/NightWindow.h"

#include <cstdio>

namespace korven {
namespace {

// "HH:MM" or "HH:MM:SS", two digits each; nothing otherwise.
std::optional<Micros> parseClock(const std::string& text) {
  if (text.size() != 5 && text.size() != 8) return std::nullopt;
  int parts[3] = {0, 0, 0};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i % 3 == 2) {
      if (c != ':') return std::nullopt;
    } else if (c < '0' || c > '9') {
      return std::nullopt;
    } else {
      parts[i / 3] = parts[i / 3] * 10 + (c - '0');
    }
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
  return Micros((parts[0] * 3600LL + parts[1] * 60LL + parts[2]) * 1'000'000);
}

Micros wrapped(Micros t) {
  return (t % kOneDay + kOneDay) % kOneDay;
}

}  // namespace

Micros timeOfDay(const LocalTime& t) {
  return Micros((t.hour * 3600LL + t.minute * 60LL + t.second) * 1'000'000 + t.microsecond);
}

std::string clockText(Micros timeOfDay) {
  const long long seconds = wrapped(timeOfDay).count() / 1'000'000;
  char text[16];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

std::optional<NightWindow> parseNightWindow(const std::string& text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos) return std::nullopt;
  NightWindow window;
  window.startText = text.substr(0, dash);
  window.endText = text.substr(dash + 1);
  const auto start = parseClock(window.startText);
  const auto end = parseClock(window.endText);
  if (!start || !end || *start == *end) return std::nullopt;
  window.start = *start;
  window.end = *end;
  return window;
}

Micros untilOpen(const NightWindow& window, Micros now) {
  now = wrapped(now);
  const bool open = window.start < window.end ? now >= window.start && now < window.end
                                              : now >= window.start || now < window.end;
  return open ? Micros(0) : wrapped(window.start - now);
}

Micros untilClose(const NightWindow& window, Micros now) {
  if (untilOpen(window, now) > Micros(0)) return Micros(0);
  return wrapped(window.end - wrapped(now));
}

bool WindowClock::fitsAfter(Micros fromNow, Micros length) const {
  if (!window_) return true;
  const Micros at = now() + fromNow;
  if (korven::untilOpen(*window_, at) > Micros(0) || length > untilClose(*window_, at)) {
    return false;
  }
  // Counted on the clock face, a night that skips an hour for summer time
  // would overrun its end by that hour: the end as the calendar will read it
  // must be inside the window too.
  const Micros end = wrapped(timeOfDay(calendar_.in(fromNow + length)));
  return korven::untilOpen(*window_, end) == Micros(0) || end == window_->end;
}

Micros waveNeeds(const WaveTimes& times, bool anotherFollows) {
  return times.stream + times.verdictWait + (anotherFollows ? times.pause : Micros(0));
}

int Schedule::heldBackTerminals() const {
  int held = 0;
  for (const PlannedWave& wave : waves) held += wave.heldBack ? wave.terminals : 0;
  return held;
}

Schedule planSchedule(const std::vector<int>& counts, const WaveTimes& times,
                      const WindowClock& clock, bool waitForWindow) {
  Schedule plan;
  const Micros now = clock.now();
  Micros at{0};  // from now
  plan.opensIn = clock.untilOpen();
  plan.waits = plan.opensIn > Micros(0) && waitForWindow;
  // After the wait the terminals are connected anew, as for a later wave.
  if (plan.waits) at += plan.opensIn + times.connecting;
  bool held = plan.opensIn > Micros(0) && !waitForWindow;
  for (std::size_t k = 0; k < counts.size(); ++k) {
    PlannedWave wave;
    wave.terminals = counts[k];
    if (k > 0) at += times.pause + times.connecting;
    wave.start = now + at;
    wave.streamsEnd = wave.start + times.stream;
    wave.verdictsBy = wave.streamsEnd + times.verdictWait;
    held = held || !clock.fitsAfter(at, waveNeeds(times, k + 1 < counts.size()));
    wave.heldBack = held;
    at += times.stream + times.verdictWait;
    plan.waves.push_back(wave);
  }
  return plan;
}

}  // namespace korven
