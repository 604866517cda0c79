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
  missed_ = false;
  if (interval_ == 0) {
    timer_.stop();
  } else {
    timer_.start(interval_);
  }
}

void QtTimer::timeout() {
  if (ticking_) {
    // Due inside our own tick: it comes once that tick has returned.
    missed_ = true;
    return;
  }
  if (interval_ > 0) timer_.start(interval_);
  ticking_ = true;
  onTimer.raise();
  ticking_ = false;
  if (missed_) {
    missed_ = false;
    if (interval_ > 0) timer_.start(0);
  }
}

}  // namespace korven::qt
