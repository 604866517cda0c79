#include "platform/qt/QtTimer.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace korven::qt {

QtTimer::QtTimer(DescriptorWatch& descriptors)
    : descriptors_(descriptors),
      descriptor_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
  token_ = descriptors_.add(descriptor_, EPOLLIN, *this);
}

QtTimer::~QtTimer() {
  if (descriptor_ < 0) return;
  descriptors_.remove(token_, descriptor_);
  ::close(descriptor_);
}

void QtTimer::setInterval(int milliseconds) {
  interval_ = std::max(0, milliseconds);
  missed_ = false;
  arm(static_cast<long long>(interval_) * 1000);
}

void QtTimer::arm(long long microseconds) {
  // Setting the time drops an expiry not yet handed out; zero disarms.
  itimerspec due{};
  due.it_value.tv_sec = static_cast<time_t>(microseconds / 1'000'000);
  due.it_value.tv_nsec = static_cast<long>(microseconds % 1'000'000) * 1000;
  ::timerfd_settime(descriptor_, 0, &due, nullptr);
}

void QtTimer::ready(std::uint32_t) {
  std::uint64_t expirations = 0;
  if (::read(descriptor_, &expirations, sizeof expirations) <= 0) return;
  if (ticking_) {
    // Due inside our own tick: it comes once that tick has returned.
    missed_ = true;
    return;
  }
  if (interval_ > 0) arm(static_cast<long long>(interval_) * 1000);
  ticking_ = true;
  onTimer.raise();
  ticking_ = false;
  if (missed_) {
    missed_ = false;
    // As soon as the loop turns again: a microsecond from now.
    if (interval_ > 0) arm(1);
  }
}

}  // namespace korven::qt
