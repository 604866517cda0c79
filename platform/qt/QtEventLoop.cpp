#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <thread>

namespace korven::qt {

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
  // Qt wakes on whole milliseconds and often one late; a terminal's pause,
  // owed since its own previous piece, would grow by that at every block.
  // So events are run until shortly before the end, and the rest is slept.
  constexpr Micros kSleptAtTheEnd(2000);
  const Micros deadline = clock_.now() + duration;
  QTimer wake;
  wake.setTimerType(Qt::PreciseTimer);
  wake.setSingleShot(true);
  for (Micros now = clock_.now(); deadline - now > kSleptAtTheEnd; now = clock_.now()) {
    if (!wake.isActive()) {
      wake.start(static_cast<int>((deadline - now - kSleptAtTheEnd).count() / 1000));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const Micros rest = deadline - clock_.now();
  if (rest > Micros(0)) std::this_thread::sleep_for(rest);
}

void QtEventLoop::freeze(Micros duration) {
  // The steady clock's sleep never ends early, whatever the wall clock does.
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + duration);
}

bool QtEventLoop::waitUntil(const std::function<bool()>& done, Micros limit) {
  // Sleeps until events come; a wake-up every few milliseconds looks at
  // `done()` even when nothing happens.
  const Micros deadline = clock_.now() + limit;
  QTimer wake;
  wake.start(5);
  while (!done() && clock_.now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return done();
}

}  // namespace korven::qt
