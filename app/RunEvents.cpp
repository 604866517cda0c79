#include "app/RunEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace korven::simproc {

bool runEventsUntil(const std::function<bool()>& done, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  QTimer wake;
  wake.start(5);
  while (!done() && clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return done();
}

}  // namespace korven::simproc
