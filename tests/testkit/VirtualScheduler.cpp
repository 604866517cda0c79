#include "tests/testkit/VirtualScheduler.h"

#include <algorithm>
#include <optional>

namespace korven::testkit {

class VirtualTimer : public Timer {
 public:
  explicit VirtualTimer(VirtualScheduler& scheduler)
      : scheduler_(scheduler), usable_(!scheduler.refuseTimers) {
    scheduler_.timers_.push_back(this);
  }
  ~VirtualTimer() override {
    auto& timers = scheduler_.timers_;
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
  }
  VirtualTimer(const VirtualTimer&) = delete;
  VirtualTimer& operator=(const VirtualTimer&) = delete;

  void setInterval(int milliseconds) override {
    interval_ = std::max(0, milliseconds);
    arm(scheduler_.now());
  }
  int interval() const override { return interval_; }
  bool usable() const override { return usable_; }

  // Due instant and order among items of the same instant, or nothing when
  // stopped or inside its own tick.
  std::optional<std::pair<Micros, std::uint64_t>> due() const {
    if (!due_ || ticking_) return std::nullopt;
    return std::make_pair(*due_, sequence_);
  }

  void tick() {
    arm(scheduler_.now());
    ticking_ = true;
    onTimer.raise();
    ticking_ = false;
  }

 private:
  void arm(Micros from) {
    if (interval_ == 0 || !usable_) {
      due_.reset();
      return;
    }
    due_ = from + Micros(std::int64_t{interval_} * 1000);
    sequence_ = scheduler_.nextSequence();
  }

  VirtualScheduler& scheduler_;
  bool usable_;
  int interval_ = 0;
  bool ticking_ = false;
  std::optional<Micros> due_;
  std::uint64_t sequence_ = 0;
};

VirtualScheduler::VirtualScheduler() = default;
VirtualScheduler::~VirtualScheduler() = default;

void VirtualScheduler::processEvents() {
  ++processEventsCalls_;
  while (deliverOne(now_)) {
  }
}

void VirtualScheduler::processEventsFor(Micros duration) {
  ++processEventsCalls_;
  runUntil(now_ + duration);
}

void VirtualScheduler::freeze(Micros duration) {
  now_ += duration;
  frozenTotal_ += duration;
}

void VirtualScheduler::runUntil(Micros instant) {
  while (deliverOne(instant)) {
  }
  now_ = std::max(now_, instant);
}

bool VirtualScheduler::advanceUntil(const std::function<bool()>& done, Micros limit) {
  const Micros end = now_ + limit;
  while (!done()) {
    if (!deliverOne(end)) {
      now_ = std::max(now_, end);
      return done();
    }
  }
  return true;
}

void VirtualScheduler::post(Micros instant, std::function<void()> action) {
  posted_.emplace(std::make_pair(std::max(instant, now_), nextSequence()), std::move(action));
}

std::unique_ptr<Timer> VirtualScheduler::createTimer() {
  return std::make_unique<VirtualTimer>(*this);
}

bool VirtualScheduler::deliverOne(Micros limit) {
  std::optional<std::pair<Micros, std::uint64_t>> best;
  VirtualTimer* bestTimer = nullptr;
  if (!posted_.empty()) best = posted_.begin()->first;
  for (VirtualTimer* timer : timers_) {
    const auto due = timer->due();
    if (due && (!best || *due < *best)) {
      best = due;
      bestTimer = timer;
    }
  }
  if (!best || best->first > limit) return false;
  now_ = std::max(now_, best->first);
  if (bestTimer != nullptr) {
    bestTimer->tick();
  } else {
    auto action = std::move(posted_.begin()->second);
    posted_.erase(posted_.begin());
    action();
  }
  return true;
}

}  // namespace korven::testkit
