#include "platform/linux/LinuxTimer.h"

#include <algorithm>
#include <thread>

namespace korven::linux_platform {

LinuxTimer::LinuxTimer(DescriptorWatch& descriptors, const Clock& clock, const Micros& early)
    : descriptors_(descriptors), clock_(clock), early_(early) {
  if (timer_.valid()) token_ = descriptors_.add(timer_.descriptor(), EPOLLIN, *this);
  usable_ = token_ != 0;
}

LinuxTimer::~LinuxTimer() {
  descriptors_.remove(token_, timer_.descriptor());
}

void LinuxTimer::setInterval(int milliseconds) {
  interval_ = std::max(0, milliseconds);
  missed_ = false;
  if (interval_ == 0) {
    timer_.disarm();
  } else {
    arm(Micros(static_cast<long long>(interval_) * 1000));
  }
}

void LinuxTimer::arm(Micros after) {
  due_ = clock_.now() + after;
  // A refused arming would leave the timer silent for good: the logic asks
  // usable() before it relies on a tick.
  if (!timer_.arm(after - early_)) usable_ = false;
}

void LinuxTimer::ready(std::uint32_t) {
  // Re-armed since it was seen ready, by a handler of this same point.
  if (!timer_.expired()) return;
  if (ticking_) {
    // Due inside our own tick: it comes once that tick has returned.
    missed_ = true;
    return;
  }
  // Woken early by the system's latency at most: the tick is due shortly.
  while (clock_.now() < due_) std::this_thread::yield();
  if (interval_ > 0) arm(Micros(static_cast<long long>(interval_) * 1000));
  ticking_ = true;
  onTimer.raise();
  ticking_ = false;
  if (missed_) {
    missed_ = false;
    if (interval_ > 0) arm(Micros(0));  // at the next point
  }
}

}  // namespace korven::linux_platform
