#pragma once

#include <chrono>
#include <ctime>

#include "platform/WallClock.h"

namespace korven {

// The machine's calendar in its own time zone.
class SystemWallClock : public WallClock {
 public:
  LocalTime now() const override { return at(std::chrono::system_clock::now()); }
  LocalTime in(Micros fromNow) const override {
    return at(std::chrono::system_clock::now() + fromNow);
  }

 private:
  static LocalTime at(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(moment.time_since_epoch()).count() %
        1'000'000;
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,           local.tm_hour,
                     local.tm_min,         local.tm_sec,     static_cast<int>(micros)};
  }
};

}  // namespace korven
