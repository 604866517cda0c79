#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <thread>

namespace korven::qt {

void QtEventLoop::processEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::processEventsFor(Micros duration) {
  // Qt's timers count whole milliseconds: the wake is rounded up, and the
  // wait never returns early.
  const Micros deadline = clock_.now() + duration;
  QTimer wake;
  wake.setTimerType(Qt::PreciseTimer);
  wake.setSingleShot(true);
  for (Micros rest = deadline - clock_.now(); rest > Micros(0); rest = deadline - clock_.now()) {
    if (!wake.isActive()) wake.start(static_cast<int>((rest.count() + 999) / 1000));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
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
