#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "operator/Operator.h"
#include "rollout/NightWindow.h"
#include "rollout/RunRecord.h"
#include "rollout/Waves.h"

namespace korven {

// A terminal says its status as a connection opens: a driver that connects
// waits this long before an update, so that it is read as the status before
// the update. On a LAN it comes within milliseconds.
inline constexpr Micros kStatusOnConnecting(300'000);

// Why a terminal was never streamed, as the report says it.
inline constexpr const char* kHeldForWindow = "window";
inline constexpr const char* kHeldForFailures = "max-failed";

// One update of a run about to go: wave `wave` of `waves` (0 waves: the run
// is one batch), or its retry `retry` of `retries` (0: the wave itself).
// Wave 0: the whole run, before anything.
struct RunStep {
  int wave = 1;
  int waves = 0;
  int retry = 0;
  int retries = 0;
  int terminals = 0;
  Micros endsAt{0};  // its end tick by the timetable, as a time of day
};

// What a driver shows of a run as it goes; korven-cli prints it.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The run waits until the window opens, `opensIn` from now.
  virtual void waitingForWindow(const NightWindow& window, Micros opensIn) = 0;
  virtual void windowOpened() = 0;
  // Asked while the run waits for the window: whether to end it now.
  virtual bool interrupted() = 0;
  // `batch` is about to be clicked.
  virtual void batchBegins(const RunStep& batch) = 0;
  // `batch` would not end before the window closes: it does not start.
  virtual void heldBack(const RunStep& batch, const NightWindow& window) = 0;
  // UPDATE is about to be clicked; the update it started has ended.
  virtual void updateBegins() = 0;
  virtual void updateEnded() = 0;
  // The streamed terminals are connected again to hear their verdicts.
  virtual void hearingVerdicts(Micros upTo) = 0;
  // Too many terminals are not clean after `wave`: no further wave starts.
  virtual void stopped(int wave, int waves) = 0;
};

// How a run goes, as its driver was asked.
struct RunPlan {
  // All-terminals mode: the first terminal number and the count of each
  // wave (one count: one batch). Single-terminal mode: the one address.
  int first = 0;
  std::vector<int> counts{1};
  std::string singleTerminal;
  bool inWaves = false;
  Share maxFailed;
  Micros pauseBetweenWaves{0};
  Micros connectWait{3'000'000};
  Micros verdictWait{10'000'000};
  // The image's blocks, for the timetable of each update.
  int blocks = 0;
  // Every update must end before the window closes; none: any time.
  std::optional<NightWindow> window;
  // Outside the window: wait for it to open, or end at once.
  bool waitForWindow = true;
  // The terminals of a batch that were cut, not connected or said CHKERR
  // are streamed again, up to `retries` times, each after `retryPause`.
  int retries = 0;
  Micros retryPause{30'000'000};
};

// The first and last terminal number of each wave.
std::vector<std::pair<int, int>> waveRanges(const RunPlan& plan);
// The parts of each wave's timetable: the engine's own for the update.
WaveTimes waveTimes(const Operator& op, const RunPlan& plan);

// Runs the updates of a run, prepared and connected, in one batch or in
// waves: each wave one update, its streamed terminals connected again after
// it to hear their verdicts, its failed ones streamed again as asked, no
// further wave once too many are not clean, none that would not end before
// the window closes. The run's record takes every update's record while it
// lives.
class Rollout {
 public:
  enum class End { Ran, Stopped, Refused, TimedOut, HeldBack, Interrupted };

  Rollout(Operator& op, UpdateReport& report, RunRecord& run, RunObserver& observer,
          const WallClock& calendar);
  ~Rollout();
  Rollout(const Rollout&) = delete;
  Rollout& operator=(const Rollout&) = delete;

  End run(const RunPlan& plan);

 private:
  End awaitWindow(const RunPlan& plan, const WindowClock& clock);
  End streamBatch(const RunPlan& plan, const RunStep& batch);
  End retry(const RunPlan& plan, const WindowClock& clock, RunStep batch);
  End holdBack(const RunStep& batch, const NightWindow& window);
  void reconnect(const RunPlan& plan);
  void connectWave(const RunPlan& plan, int wave, std::pair<int, int> range);
  void connectOnly(const RunPlan& plan, const std::vector<std::string>& addresses);
  void hearVerdicts(const RunPlan& plan);

  Operator& op_;
  UpdateReport& report_;
  RunRecord& run_;
  RunObserver& observer_;
  const WallClock& calendar_;
  WaveTimes times_;
  // The lists were made anew for a retry: later waves are listed by address.
  bool relisted_ = false;
};

}  // namespace korven
