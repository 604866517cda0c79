#pragma once

#include <QTimer>

#include "platform/Timer.h"

namespace korven::qt {

// A window timer on a precise single-shot QTimer, re-armed at every tick so
// that the next tick counts from this one. Qt counts whole milliseconds.
class QtTimer : public Timer {
 public:
  QtTimer();

  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }
  bool usable() const override { return usable_; }

 private:
  void tick();
  void start(int milliseconds);

  QTimer timer_;
  int interval_ = 0;
  bool usable_ = true;
  bool ticking_ = false;
  bool missed_ = false;
};

}  // namespace korven::qt
