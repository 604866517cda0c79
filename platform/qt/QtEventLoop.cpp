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

void QtEventLoop::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

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
