#pragma once

#include <QTimer>

#include <chrono>

#include "platform/Timer.h"

namespace korven::qt {

// A single-shot QTimer re-armed at every tick, so that the next tick counts
// from this one and a late tick never makes the next one early.
//
// Qt wakes on whole milliseconds and often one late; over the thousand ticks
// of an update that is a second of drift. So the QTimer is asked to wake a
// little early and the rest is slept on the monotonic clock.
class QtTimer : public Timer {
 public:
  QtTimer();
  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }

 private:
  void arm();
  void timeout();

  QTimer timer_;
  int interval_ = 0;
  std::chrono::steady_clock::time_point due_;
  bool ticking_ = false;
  bool missed_ = false;
};

}  // namespace korven::qt
