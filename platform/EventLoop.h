#pragma once

#include <functional>

#include "platform/Time.h"

namespace korven {

// The one event loop of the window thread, as seen from inside a handler.
class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Runs the handlers of the events that are already waiting, then returns.
  virtual void processEvents() = 0;
  // Keeps running handlers as events come until `duration` has passed on the
  // monotonic clock; never returns earlier.
  virtual void processEventsFor(Micros duration) = 0;
  // Blocks the thread for `duration` on the monotonic clock: nothing is
  // handled and the window is not repainted meanwhile; never returns earlier.
  virtual void freeze(Micros duration) = 0;
  // For whoever drives the program from outside (an operator, a test), never
  // for its handlers: runs handlers as events come until `done()` holds or
  // `limit` has passed on the monotonic clock; whether `done()` holds.
  virtual bool waitUntil(const std::function<bool()>& done, Micros limit) = 0;
};

// A monotonic clock: it never goes back and ignores changes of the wall clock.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Micros now() const = 0;
};

}  // namespace korven
