#pragma once

#include "platform/Time.h"

namespace korven::linux_platform {

// A one-shot timer descriptor of the monotonic clock: readable once it has
// expired, to the microsecond and never early.
class TimerDescriptor {
 public:
  TimerDescriptor();
  ~TimerDescriptor();
  TimerDescriptor(const TimerDescriptor&) = delete;
  TimerDescriptor& operator=(const TimerDescriptor&) = delete;

  // False when the system gave no descriptor.
  bool valid() const { return descriptor_ >= 0; }
  int descriptor() const { return descriptor_; }
  // Expires `after` from now (at once for zero or less), dropping an expiry
  // not yet read; false when the system refused.
  bool arm(Micros after);
  bool disarm();
  // Reads the expiry, which makes the descriptor quiet again; false when
  // there was none (re-armed since it was seen ready).
  bool expired();

 private:
  int descriptor_;
};

}  // namespace korven::linux_platform
