#include "app/cli/PlanText.h"

#include "app/cli/Output.h"

namespace korven::cli {

std::string durationText(Micros d) {
  // Rounded up: "in 0 s" would be a wait that is not over.
  const long long s = (d.count() + 999'999) / 1'000'000;
  if (s >= 3600) return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
  if (s >= 60) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s) + " s";
}

std::string batchName(const RunStep& batch) {
  std::string wave =
      batch.waves > 0 ? "wave " + std::to_string(batch.wave) + " of " + std::to_string(batch.waves)
                      : std::string();
  if (batch.retry == 0) return wave;
  return "retry " + std::to_string(batch.retry) + " of " + std::to_string(batch.retries) +
         (wave.empty() ? "" : " of " + wave);
}

Schedule printPlan(Session& s, const RunPlan& plan) {
  const WindowClock clock(s.platform.wallClock(), plan.window);
  const WaveTimes times = waveTimes(s.op, plan);
  Schedule schedule = planSchedule(plan.counts, times, clock, plan.waitForWindow);
  const NightWindow* window = clock.window();
  if (window != nullptr) {
    const std::string hours = window->startText + "-" + window->endText;
    note("plan: the window " + hours +
         (schedule.opensIn == Micros(0) ? " is open"
          : plan.waitForWindow
              ? " opens at " + window->startText + ", in " + durationText(schedule.opensIn)
              : " is closed, and --window-now-or-never holds everything back"));
  }
  const int waves = static_cast<int>(schedule.waves.size());
  for (int k = 0; k < waves; ++k) {
    const PlannedWave& wave = schedule.waves[static_cast<std::size_t>(k)];
    std::string line = "plan: ";
    if (plan.inWaves) line += batchName(RunStep{k + 1, waves, 0, 0, 0, Micros(0)}) + ", ";
    line += std::to_string(wave.terminals) + (wave.terminals == 1 ? " terminal" : " terminals");
    const bool closedNow = schedule.opensIn > Micros(0) && !plan.waitForWindow;
    if (wave.heldBack) {
      line += ": held back";
      if (window != nullptr && !closedNow) {
        line += ", it would end after the window closes at " + window->endText;
      }
    } else {
      line += ": " + clockText(wave.start) + " to " + clockText(wave.streamsEnd);
      if (times.verdictWait > Micros(0)) line += ", verdicts by " + clockText(wave.verdictsBy);
    }
    note(line);
  }
  if (plan.retries > 0) {
    note("plan: each retry comes on top, " +
         durationText(plan.retryPause + kStatusOnConnecting + times.stream + times.verdictWait) +
         " at most" + (window != nullptr ? ", and only if it ends before the window closes" : ""));
  }
  return schedule;
}

}  // namespace korven::cli
