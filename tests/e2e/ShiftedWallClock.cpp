// The wall clock of the test process, shifted at will: these definitions in
// the executable take the place of the C library's for every library loaded.
#include "tests/e2e/ShiftedWallClock.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <ctime>

namespace {

std::atomic<long> shiftSeconds{0};

bool isWallClock(clockid_t id) {
  return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE || id == CLOCK_TAI;
}

// The kernel's clock, bypassing any definition of clock_gettime.
int trueClock(clockid_t id, timespec* now) {
  return static_cast<int>(::syscall(SYS_clock_gettime, id, now));
}

}  // namespace

namespace korven::e2e {

void shiftWallClock(long seconds) {
  shiftSeconds = seconds;
}

}  // namespace korven::e2e

extern "C" {

int clock_gettime(clockid_t id, timespec* now) {
  const int result = trueClock(id, now);
  if (result == 0 && isWallClock(id)) now->tv_sec += shiftSeconds;
  return result;
}

int gettimeofday(timeval* __restrict now, void* __restrict /*zone*/) {
  timespec t{};
  if (trueClock(CLOCK_REALTIME, &t) != 0) return -1;
  now->tv_sec = t.tv_sec + shiftSeconds;
  now->tv_usec = t.tv_nsec / 1000;
  return 0;
}

time_t time(time_t* out) {
  timespec t{};
  trueClock(CLOCK_REALTIME, &t);
  const time_t seconds = t.tv_sec + shiftSeconds;
  if (out != nullptr) *out = seconds;
  return seconds;
}

}  // extern "C"
