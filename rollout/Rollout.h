#pragma once

#include <string>
#include <utility>
#include <vector>

#include "operator/Operator.h"
#include "rollout/RunRecord.h"
#include "rollout/Waves.h"

namespace korven {

// A terminal says its status as a connection opens: a driver that connects
// waits this long before an update, so that it is read as the status before
// the update. On a LAN it comes within milliseconds.
inline constexpr Micros kStatusOnConnecting(300'000);

// What a driver shows of a run as it goes; korven-cli prints it.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The updates to come are wave `wave` of `waves`, of `terminals` terminals.
  virtual void waveBegins(int wave, int waves, int terminals) = 0;
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
};

// The first and last terminal number of each wave.
std::vector<std::pair<int, int>> waveRanges(const RunPlan& plan);

// Runs the updates of a run, prepared and connected, in one batch or in
// waves: each wave one update, its streamed terminals connected again after
// it to hear their verdicts, no further wave once too many are not clean.
// The run's record takes every update's record while it lives.
class Rollout {
 public:
  enum class End { Ran, Stopped, Refused, TimedOut };

  Rollout(Operator& op, UpdateReport& report, RunRecord& run, RunObserver& observer);
  ~Rollout();
  Rollout(const Rollout&) = delete;
  Rollout& operator=(const Rollout&) = delete;

  End run(const RunPlan& plan);

 private:
  void reconnect(const RunPlan& plan);
  void connectWave(const RunPlan& plan, std::pair<int, int> range);
  void hearVerdicts(const RunPlan& plan);

  Operator& op_;
  UpdateReport& report_;
  RunRecord& run_;
  RunObserver& observer_;
};

}  // namespace korven
