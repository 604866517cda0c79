#pragma once

namespace korven::e2e {

// Moves the wall clock of this process, as seen through clock_gettime,
// gettimeofday and time, by `seconds` from the true time. The monotonic
// clocks are left alone: that is what the program's pauses must follow.
void shiftWallClock(long seconds);

}  // namespace korven::e2e
