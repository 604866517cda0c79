#include "platform/qt/EpollEventLoop.h"

#include <poll.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <optional>

namespace korven::qt {
namespace {

// How late the system wakes a thread that sleeps on a timer descriptor:
// the largest lateness of a few short sleeps, taken when the loop is made.
// A terminal's pause is owed since its own previous piece, so whatever a
// wait overshoots, the terminal's next pause starts later by as much, at
// every piece.
Micros measureWakeLatency(linux_platform::TimerDescriptor& timer, const Clock& clock) {
  constexpr int kRounds = 8;
  constexpr Micros kSleep(300);
  constexpr Micros kMost(1000);
  Micros latest(0);
  for (int round = 0; round < kRounds && timer.valid(); ++round) {
    const Micros due = clock.now() + kSleep;
    if (!timer.arm(kSleep)) break;
    pollfd watched{timer.descriptor(), POLLIN, 0};
    if (::poll(&watched, 1, 100) != 1) break;
    latest = std::max(latest, clock.now() - due);
    timer.expired();
  }
  return std::min(latest, kMost);
}

}  // namespace

EpollEventLoop::EpollEventLoop(const Clock& clock) : QtEventLoop(clock) {
  if (descriptors_.valid()) {
    notifier_ = std::make_unique<QSocketNotifier>(descriptors_.descriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [this] { descriptors_.dispatch(); });
  }
  margin_ = measureWakeLatency(wake_, clock_);
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
