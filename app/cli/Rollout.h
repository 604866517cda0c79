#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "update/UpdateRecord.h"

namespace korven::cli {

// A count of terminals, or a percentage of those of the update.
struct Share {
  double value = 0;
  bool percent = false;
};

// "1,10%,50%": the sizes of the waves; nothing when it is no such list.
std::optional<std::vector<Share>> parseWaveSizes(const std::string& text);
// "0", "3" or "20%"; nothing when it is neither.
std::optional<Share> parseFailureLimit(const std::string& text);

// The number of terminals in each wave, as Ansible's serial cuts hosts: a
// percentage is rounded down but never below one, and the last size repeats
// until every terminal had its wave.
std::vector<int> waveCounts(int terminals, const std::vector<Share>& sizes);

// An update in waves over consecutive terminal numbers, each wave one batch;
// its report spans them all: a terminal's line is the one of its wave, or
// "held back" while its wave has not run.
class Rollout {
 public:
  // The terminals numbered `first` on, `counts[k]` in wave k + 1.
  Rollout(int first, std::vector<int> counts);

  int waves() const { return static_cast<int>(counts_.size()); }
  // The terminal numbers of wave `wave` (from 1), first and last.
  std::pair<int, int> range(int wave) const;

  // The first wave's update started: its lines are the rollout's lines.
  void begin(const UpdateRecord& firstWave);
  // The record to write while `current` (a wave's update) is the latest.
  UpdateRecord compose(const UpdateRecord& current) const;
  // A wave's update has ended, with its terminals' verdicts.
  void waveEnded(const UpdateRecord& wave);
  // The terminals not clean so far are more than `limit` allows.
  bool overLimit(const Share& limit) const;
  // No further wave starts after `wave`.
  void stopAfter(int wave) { stoppedAfter_ = wave; }

 private:
  std::optional<int> waveOf(const TerminalRecord& line) const;

  int first_;
  std::vector<int> counts_;
  std::vector<TerminalRecord> lines_;
  LocalTime started_;
  std::unordered_map<std::string, TerminalRecord> done_;  // by address
  std::optional<int> stoppedAfter_;
};

}  // namespace korven::cli
