#include "platform/linux/TimerDescriptor.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace korven::linux_platform {

TimerDescriptor::TimerDescriptor()
    : descriptor_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {}

TimerDescriptor::~TimerDescriptor() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool TimerDescriptor::arm(Micros after) {
  // A zero value would disarm it; a nanosecond is "at once".
  const long long us = std::max<long long>(after.count(), 0);
  itimerspec due{};
  due.it_value.tv_sec = static_cast<time_t>(us / 1'000'000);
  due.it_value.tv_nsec = us == 0 ? 1 : static_cast<long>(us % 1'000'000) * 1000;
  return descriptor_ >= 0 && ::timerfd_settime(descriptor_, 0, &due, nullptr) == 0;
}

bool TimerDescriptor::disarm() {
  const itimerspec off{};
  return descriptor_ >= 0 && ::timerfd_settime(descriptor_, 0, &off, nullptr) == 0;
}

bool TimerDescriptor::expired() {
  std::uint64_t expirations = 0;
  return ::read(descriptor_, &expirations, sizeof expirations) > 0;
}

}  // namespace korven::linux_platform
