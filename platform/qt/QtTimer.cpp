#include "platform/qt/QtTimer.h"

#include <algorithm>

namespace korven::qt {

QtTimer::QtTimer() {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

void QtTimer::setInterval(int milliseconds) {
  interval_ = std::max(0, milliseconds);
  missed_ = false;
  if (interval_ == 0) {
    timer_.stop();
  } else {
    start(interval_);
  }
}

void QtTimer::start(int milliseconds) {
  timer_.start(milliseconds);
  // Qt refuses a timer it cannot register (none left, or no event loop on
  // this thread): the timer would never tick.
  if (!timer_.isActive()) usable_ = false;
}

void QtTimer::tick() {
  if (ticking_) {
    // Due inside our own tick: it comes once that tick has returned.
    missed_ = true;
    return;
  }
  if (interval_ > 0) start(interval_);
  ticking_ = true;
  onTimer.raise();
  ticking_ = false;
  if (missed_) {
    missed_ = false;
    if (interval_ > 0) start(0);
  }
}

}  // namespace korven::qt
