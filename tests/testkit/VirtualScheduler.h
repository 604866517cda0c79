#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/Timer.h"

namespace korven::testkit {

class VirtualTimer;

// Virtual time for tests: events and timer ticks fall due at virtual
// instants, and time moves only when the test or a wait moves it. A wait that
// processes events delivers everything that falls due inside it at its own
// instant; a frozen wait moves time and delivers nothing.
class VirtualScheduler : public EventLoop, public Clock {
 public:
  VirtualScheduler();
  ~VirtualScheduler() override;

  Micros now() const override { return now_; }

  void processEvents() override;
  void processEventsFor(Micros duration) override;
  void freeze(Micros duration) override;
  bool waitUntil(const std::function<bool()>& done, Micros limit) override {
    return advanceUntil(done, limit);
  }

  // Test driving: move time forward, delivering what falls due on the way.
  void advance(Micros duration) { runUntil(now_ + duration); }
  void runUntil(Micros instant);
  // Moves time until `done()` holds, at most `limit` ahead; true when it held.
  bool advanceUntil(const std::function<bool()>& done, Micros limit);

  // Queues `action` to run at `instant` (now, if earlier).
  void post(Micros instant, std::function<void()> action);
  void post(std::function<void()> action) { post(now_, std::move(action)); }

  std::unique_ptr<Timer> createTimer();
  // Timers made from now on are refused by the system: they never tick.
  bool refuseTimers = false;

  // How often a handler asked for pending events to be processed.
  std::uint64_t processEventsCalls() const { return processEventsCalls_; }
  // How long frozen waits have held the thread in all.
  Micros frozenTotal() const { return frozenTotal_; }

 private:
  friend class VirtualTimer;
  struct Posted {
    Micros at;
    std::uint64_t sequence;
    std::function<void()> action;
  };

  // Delivers the earliest item due no later than `limit`; false when none.
  bool deliverOne(Micros limit);
  std::uint64_t nextSequence() { return sequence_++; }

  Micros now_{0};
  std::uint64_t sequence_ = 0;
  std::uint64_t processEventsCalls_ = 0;
  Micros frozenTotal_{0};
  std::multimap<std::pair<Micros, std::uint64_t>, std::function<void()>> posted_;
  std::vector<VirtualTimer*> timers_;
};

}  // namespace korven::testkit
