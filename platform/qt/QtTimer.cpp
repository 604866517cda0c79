#include "platform/qt/QtTimer.h"

#include <algorithm>

namespace korven::qt {

QtTimer::QtTimer() {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] { timeout(); });
}

void QtTimer::setInterval(int milliseconds) {
  interval_ = std::max(0, milliseconds);
  if (interval_ == 0) {
    timer_.stop();
    return;
  }
  due_ = Clock::now() + std::chrono::milliseconds(interval_);
  arm();
}

void QtTimer::arm() {
  // Rounded up to whole milliseconds: a tick never comes before it is due.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_ - Clock::now());
  timer_.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())));
}

void QtTimer::timeout() {
  // Due inside our own tick: it comes once that tick has returned.
  if (ticking_ || interval_ == 0) return;
  const Clock::time_point now = Clock::now();
  if (now < due_) {
    arm();
    return;
  }
  due_ += std::chrono::milliseconds(interval_);
  if (due_ <= now) due_ = now + std::chrono::milliseconds(interval_);
  ticking_ = true;
  onTimer.raise();
  ticking_ = false;
  if (interval_ > 0) arm();
}

}  // namespace korven::qt
