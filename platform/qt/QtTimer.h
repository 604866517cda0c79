#pragma once

#include <QTimer>

#include <chrono>

#include "platform/Timer.h"

namespace korven::qt {

// A precise single-shot QTimer armed for each tick at the time the tick is
// due: ticks keep to the interval over a long run instead of adding up the
// delays of waking up. A tick late by more than an interval is not made up.
class QtTimer : public Timer {
 public:
  QtTimer();
  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }

 private:
  using Clock = std::chrono::steady_clock;
  void timeout();
  void arm();

  QTimer timer_;
  int interval_ = 0;
  Clock::time_point due_;
  bool ticking_ = false;
};

}  // namespace korven::qt
