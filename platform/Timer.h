#pragma once

#include "platform/Event.h"

namespace korven {

// A window timer driven only through its interval in milliseconds.
// Setting a non-zero interval (re)starts the count from that moment; 0 stops
// it. A tick that falls due while the timer's own tick handler runs is not
// delivered inside it; it comes as soon as that handler has returned.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void setInterval(int milliseconds) = 0;
  virtual int interval() const = 0;
  // False when the system refused what the timer needs (a descriptor, its
  // watch, an arming): it would never tick.
  virtual bool usable() const = 0;

  Event<> onTimer;
};

}  // namespace korven
