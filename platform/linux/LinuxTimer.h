#pragma once

#include "platform/EventLoop.h"
#include "platform/Timer.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/TimerDescriptor.h"

namespace korven::linux_platform {

// A window timer on a timer descriptor, re-armed at every tick, so that the
// next tick counts from this one and a late tick never makes the next one
// early. Timers of whole milliseconds, often one late, would drift a second
// over the thousand ticks of an update; so would a wake-up late by the
// system's latency at every tick. So the descriptor may expire `early`
// before the tick is due (the loop's wake margin), and the tick waits out
// the rest.
class LinuxTimer : public Timer, private Watcher {
 public:
  LinuxTimer(DescriptorWatch& descriptors, const Clock& clock, const Micros& early);
  ~LinuxTimer() override;
  LinuxTimer(const LinuxTimer&) = delete;
  LinuxTimer& operator=(const LinuxTimer&) = delete;

  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }
  bool usable() const override { return usable_; }

 private:
  void ready(std::uint32_t events) override;
  void arm(Micros after);

  DescriptorWatch& descriptors_;
  const Clock& clock_;
  const Micros& early_;
  Micros due_{0};
  TimerDescriptor timer_;
  DescriptorWatch::Token token_ = 0;
  bool usable_ = false;
  int interval_ = 0;
  bool ticking_ = false;
  bool missed_ = false;
};

}  // namespace korven::linux_platform
