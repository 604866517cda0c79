#pragma once

#include <functional>

namespace korven::simproc {

// Runs the program's events until `done` or the time limit; true when done.
// It waits for events rather than spinning, so that it takes no core from
// the simulator; a timer wakes it to look again.
bool runEventsUntil(const std::function<bool()>& done, int milliseconds);

}  // namespace korven::simproc
