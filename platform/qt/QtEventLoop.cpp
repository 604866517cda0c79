#include "platform/qt/QtEventLoop.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <optional>
#include <thread>

namespace korven::qt {

DescriptorWatch::DescriptorWatch() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

DescriptorWatch::~DescriptorWatch() {
  notifier_.reset();
  if (epoll_ >= 0) ::close(epoll_);
}

DescriptorWatch::Token DescriptorWatch::add(int descriptor, std::uint32_t events,
                                            Watcher& watcher) {
  if (epoll_ < 0 || descriptor < 0) return 0;
  if (!notifier_) {
    notifier_ = std::make_unique<QSocketNotifier>(epoll_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { dispatch(); });
  }
  // A token, not the descriptor, names the watcher: a descriptor closed and
  // reused while older events are being handed out reaches nobody.
  const Token token = next_++;
  epoll_event event{};
  event.events = events;
  event.data.u64 = token;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, descriptor, &event) != 0) return 0;
  watchers_[token] = &watcher;
  return token;
}

void DescriptorWatch::change(Token token, int descriptor, std::uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = token;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, descriptor, &event);
}

void DescriptorWatch::remove(Token token, int descriptor) {
  if (watchers_.erase(token) == 0) return;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, descriptor, nullptr);
}

bool DescriptorWatch::pending() const {
  epoll_event event{};
  return epoll_ >= 0 && ::epoll_wait(epoll_, &event, 1, 0) > 0;
}

void DescriptorWatch::dispatch() {
  std::array<epoll_event, 64> events{};
  const int ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 0);
  for (int i = 0; i < ready; ++i) {
    // Copied out: the kernel's structure is packed, its fields unaligned.
    const Token token = events[static_cast<std::size_t>(i)].data.u64;
    const std::uint32_t flags = events[static_cast<std::size_t>(i)].events;
    // A handler run just now may have removed this watcher, or destroyed it.
    const auto found = watchers_.find(token);
    if (found != watchers_.end()) found->second->ready(flags);
  }
}

void QtEventLoop::Wake::ready(std::uint32_t) {
  // Reading re-arms the descriptor; how many expirations passed is no matter.
  std::uint64_t expirations = 0;
  [[maybe_unused]] const ssize_t read = ::read(descriptor, &expirations, sizeof expirations);
}

QtEventLoop::QtEventLoop(const Clock& clock) : clock_(clock) {
  wake_.descriptor = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
}

QtEventLoop::~QtEventLoop() {
  if (wake_.descriptor < 0) return;
  descriptors_.remove(wakeToken_, wake_.descriptor);
  ::close(wake_.descriptor);
}

void QtEventLoop::processEvents() {
  // Qt asks the system about every descriptor it watches, which costs time;
  // a fan-out has two points per terminal. So the system is asked when one
  // of the program's own descriptors (a connection, a timer) has something,
  // and otherwise only once a millisecond for Qt's own (the display, the
  // UDP sockets); what the program posted itself is always handled.
  constexpr Micros kPollPeriod(1000);
  const Micros now = clock_.now();
  if (lastPoll_ != Micros::min() && now - lastPoll_ < kPollPeriod && !descriptors_.pending()) {
    QCoreApplication::sendPostedEvents();
    return;
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  lastPoll_ = clock_.now();
}

void QtEventLoop::processEventsFor(Micros duration) {
  // A terminal's pause is owed since its own previous piece, so whatever
  // this overshoots, the terminal's next pause starts later by as much, at
  // every piece: an update's pieces would drift ever later against the
  // timetable. Qt wakes on whole milliseconds and often one late, a timer
  // descriptor up to some 100 us late; so the loop is woken shortly before the
  // end, and the rest runs on the cheap event-processing points.
  constexpr Micros kOnPoints(200);
  const Micros deadline = clock_.now() + duration;
  if (wake_.descriptor >= 0 && wakeToken_ == 0) {
    wakeToken_ = descriptors_.add(wake_.descriptor, EPOLLIN, wake_);
  }
  std::optional<QTimer> coarse;  // without a timer descriptor (none left): Qt's wake
  for (Micros rest = deadline - clock_.now(); rest > kOnPoints; rest = deadline - clock_.now()) {
    // Armed anew at each turn: a wait nested in a handler run here re-arms it.
    const Micros early = rest - kOnPoints;
    itimerspec due{};
    due.it_value.tv_sec = static_cast<time_t>(early.count() / 1'000'000);
    due.it_value.tv_nsec = static_cast<long>(early.count() % 1'000'000) * 1000;
    if (wakeToken_ == 0 || ::timerfd_settime(wake_.descriptor, 0, &due, nullptr) != 0) {
      if (!coarse) {
        coarse.emplace();
        coarse->setTimerType(Qt::PreciseTimer);
        coarse->setSingleShot(true);
      }
      if (!coarse->isActive()) coarse->start(static_cast<int>(early.count() / 1000));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (wakeToken_ != 0) {
    const itimerspec disarmed{};
    ::timerfd_settime(wake_.descriptor, 0, &disarmed, nullptr);
  }
  while (clock_.now() < deadline) processEvents();
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
