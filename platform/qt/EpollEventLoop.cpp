#include "platform/qt/EpollEventLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <optional>

namespace korven::qt {
EpollEventLoop::EpollEventLoop(const Clock& clock) : QtEventLoop(clock) {
  if (descriptors_.valid()) {
    notifier_ = std::make_unique<QSocketNotifier>(descriptors_.descriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [this] { descriptors_.dispatch(); });
  }
  if (wake_.valid()) wakeToken_ = descriptors_.add(wake_.descriptor(), EPOLLIN, *this);
}

EpollEventLoop::~EpollEventLoop() {
  descriptors_.remove(wakeToken_, wake_.descriptor());
  notifier_.reset();
}

void EpollEventLoop::ready(std::uint32_t) {
  wake_.expired();  // reading re-arms it; the wait looks at the clock
}

void EpollEventLoop::processEvents() {
  // Everything of the program's own (connections, timers, replies) that is
  // ready now, and what it posted itself. Qt's own sources (the display)
  // are looked at once a millisecond: Qt asks the system about each of
  // them at every pass, and a fan-out has two points per terminal.
  constexpr Micros kQtPeriod(1000);
  descriptors_.dispatch();
  QCoreApplication::sendPostedEvents();
  if (lastQtPass_ == Micros::min() || clock_.now() - lastQtPass_ >= kQtPeriod) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastQtPass_ = clock_.now();
  }
}

void EpollEventLoop::processEventsFor(Micros duration) {
  // Woken the measured latency before the end, the wait finishes on the
  // cheap processing points; it never returns early.
  const Micros deadline = clock_.now() + duration;
  std::optional<QTimer> coarse;  // without a timer descriptor: Qt's wake
  for (Micros rest = deadline - clock_.now(); rest > margin_; rest = deadline - clock_.now()) {
    // Armed anew at each turn: a wait nested in a handler run here re-arms it.
    if (wakeToken_ == 0 || !wake_.arm(rest - margin_)) {
      if (!coarse) {
        coarse.emplace();
        coarse->setTimerType(Qt::PreciseTimer);
        coarse->setSingleShot(true);
      }
      if (!coarse->isActive()) coarse->start(static_cast<int>((rest - margin_).count() / 1000));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (wakeToken_ != 0) wake_.disarm();
  while (clock_.now() < deadline) processEvents();
}

}  // namespace korven::qt
