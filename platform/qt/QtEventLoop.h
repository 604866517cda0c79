#pragma once

#include "platform/EventLoop.h"
#include "platform/system/SteadyClock.h"

namespace korven::qt {

class QtEventLoop : public EventLoop {
 public:
  explicit QtEventLoop(const Clock& clock) : clock_(clock) {}
  void processEvents() override;
  void processEventsFor(Micros duration) override;
  void freeze(Micros duration) override;
  bool waitUntil(const std::function<bool()>& done, Micros limit) override;

 private:
  const Clock& clock_;
  Micros lastPoll_{Micros::min()};
};

}  // namespace korven::qt
