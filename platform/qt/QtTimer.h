#pragma once

#include "platform/Timer.h"
#include "platform/qt/QtEventLoop.h"

namespace korven::qt {

// A one-shot timer descriptor of the monotonic clock, re-armed at every
// tick, so that the next tick counts from this one and a late tick never
// makes the next one early.
//
// Qt's own timers wake on whole milliseconds and often one late, which over
// the thousand ticks of an update is a second of drift; waking early and
// sleeping the rest would freeze the fan-out that the tick falls into. The
// descriptor wakes the loop to the microsecond and is never early.
class QtTimer : public Timer, private Watcher {
 public:
  explicit QtTimer(DescriptorWatch& descriptors);
  ~QtTimer() override;
  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }

 private:
  void ready(std::uint32_t events) override;
  void arm(long long microseconds);

  DescriptorWatch& descriptors_;
  int descriptor_;
  DescriptorWatch::Token token_ = 0;
  int interval_ = 0;
  bool ticking_ = false;
  bool missed_ = false;
};

}  // namespace korven::qt
