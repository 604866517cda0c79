#include "platform/qt/QtTimer.h"

#include <algorithm>
#include <thread>

namespace korven::qt {

namespace {

// How much sooner than due the QTimer wakes: at most this long is slept with
// the window's events waiting.
constexpr int kWakeEarlyMs = 2;

}  // namespace

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
    arm();
  }
}

void QtTimer::arm() {
  due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
  timer_.start(std::max(0, interval_ - kWakeEarlyMs));
}

void QtTimer::timeout() {
  if (ticking_) {
    // Due inside our own tick: it comes once that tick has returned.
    missed_ = true;
    return;
  }
  std::this_thread::sleep_until(due_);
  if (interval_ > 0) arm();
  ticking_ = true;
  onTimer.raise();
  ticking_ = false;
  if (missed_) {
    missed_ = false;
    if (interval_ > 0) timer_.start(0);
  }
}

}  // namespace korven::qt
