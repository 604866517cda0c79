#pragma once

#include <chrono>

#include "platform/EventLoop.h"

namespace korven {

class SteadyClock : public Clock {
 public:
  Micros now() const override {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
  }
};

}  // namespace korven
