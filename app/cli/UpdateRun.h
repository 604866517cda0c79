#pragma once

#include "app/cli/CliOptions.h"
#include "app/cli/Session.h"
#include "rollout/Rollout.h"
#include "rollout/RunRecord.h"

namespace korven::cli {

// Runs the update, prepared and connected, in one batch or in waves; each
// batch's terminals heard for their verdict after it. The exit code.
int runUpdate(Session& s, const CliOptions& o, RunRecord& run, const RunPlan& plan);
// Everything up to the first byte has been done: reports what would be
// streamed by `plan` (none: nothing left to stream) and what its window
// would hold back, sends nothing. The exit code.
int planUpdate(Session& s, const CliOptions& o, RunRecord& run, const RunPlan* plan);
// The run ended before any update (none answered, nothing to retry, a
// refusal): its report made final, printed, and `code` returned.
int endRun(Session& s, const CliOptions& o, RunRecord& run, int code);

}  // namespace korven::cli
