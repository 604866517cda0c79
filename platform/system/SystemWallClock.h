#pragma once

#include <chrono>
#include <ctime>

#include "platform/WallClock.h"

namespace korven {

// The machine's calendar in its own time zone.
class SystemWallClock : public WallClock {
 public:
  LocalTime now() const override {
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

}  // namespace korven
