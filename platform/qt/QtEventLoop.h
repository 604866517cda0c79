#pragma once

#include "platform/EventLoop.h"

namespace korven::qt {

// Qt's event loop alone: every point is a pass of Qt's loop, which asks the
// system about each socket and timer it holds.
class QtEventLoop : public EventLoop {
 public:
  explicit QtEventLoop(const Clock& clock) : clock_(clock) {}

  void processEvents() override;
  void processEventsFor(Micros duration) override;
  void freeze(Micros duration) override;
  bool waitUntil(const std::function<bool()>& done, Micros limit) override;

 protected:
  const Clock& clock_;
};

}  // namespace korven::qt
