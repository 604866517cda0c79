#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <thread>

namespace korven::qt {
namespace {

int millisecondsUntil(Micros remaining) {
  return static_cast<int>((remaining.count() + 999) / 1000);  // never wake before the deadline
}

}  // namespace

void QtEventLoop::processEvents() {
  // Asking the system for socket and timer events costs time in proportion to
  // the open sockets (some 100 us with a thousand), and a fan-out asks twice
  // per terminal. Within a millisecond of the last asking, what is pending is
  // only what the program posted itself.
  constexpr Micros kPollPeriod(1000);
  const Micros now = clock_.now();
  if (lastPoll_ != Micros::min() && now - lastPoll_ < kPollPeriod) {
    QCoreApplication::sendPostedEvents();
    return;
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  lastPoll_ = clock_.now();
}

void QtEventLoop::processEventsFor(Micros duration) {
  const Micros deadline = clock_.now() + duration;
  QTimer wake;
  wake.setTimerType(Qt::PreciseTimer);
  wake.setSingleShot(true);
  for (Micros now = clock_.now(); now < deadline; now = clock_.now()) {
    if (!wake.isActive()) wake.start(millisecondsUntil(deadline - now));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

void QtEventLoop::freeze(Micros duration) {
  // The steady clock's sleep never ends early, whatever the wall clock does.
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + duration);
}

}  // namespace korven::qt
