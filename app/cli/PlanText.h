#pragma once

#include <string>

#include "app/cli/Session.h"
#include "rollout/Rollout.h"

namespace korven::cli {

// "3 h 12 min", "4 min 5 s", "45 s": a wait as a technician reads it.
std::string durationText(Micros d);
// "wave 2 of 3", "retry 1 of 2 of wave 2", "retry 1 of 2", or "" for a
// run's one batch.
std::string batchName(const RunStep& batch);

// The run's plan made now from the engine's timetable, and printed on
// stderr unless quiet: each wave's size, its click and end tick as clock
// times and the latest its verdicts are waited for, what the window would
// hold back.
Schedule printPlan(Session& s, const RunPlan& plan);

}  // namespace korven::cli
