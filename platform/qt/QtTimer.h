#pragma once

#include <QTimer>

#include "platform/Timer.h"

namespace korven::qt {

// A precise single-shot QTimer re-armed at every tick, so that the next tick
// counts from this one and a late tick never makes the next one early.
class QtTimer : public Timer {
 public:
  QtTimer();
  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }

 private:
  void timeout();

  QTimer timer_;
  int interval_ = 0;
  bool ticking_ = false;
  bool missed_ = false;
};

}  // namespace korven::qt
