#pragma once

#include <chrono>
#include <string>

#include "operator/Operator.h"

namespace korven::cli {

// The progress of an update on stderr, read from the window model: on a
// terminal a bar with the step, the percentage and the counts of connected
// and failed terminals, redrawn in place; otherwise one plain line per step.
class Progress {
 public:
  explicit Progress(Operator& op);
  // The update ended: the last state, and a line break after the bar.
  void finish();
  // The updates to come are wave `wave` of `waves` of a rollout.
  void setWave(int wave, int waves);

 private:
  void show(bool stepChanged);

  Operator& op_;
  bool terminal_;
  std::string step_;
  std::string wave_;  // "wave 2 of 4: ", or empty
  std::chrono::steady_clock::time_point lastDrawn_{};
  bool drawn_ = false;
};

}  // namespace korven::cli
