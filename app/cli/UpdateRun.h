#pragma once

#include "app/cli/CliOptions.h"
#include "app/cli/Session.h"
#include "image/ImageReader.h"

namespace korven::cli {

// The terminals of an update: list lines `first` to `last` in all-terminals
// mode, element 0 alone in single-terminal mode.
struct UpdateTargets {
  int first = 0;
  int last = 0;
};

// Runs the update, prepared and connected, in one batch or in waves; each
// batch's terminals heard for their verdict after it. The exit code.
int runUpdate(Session& s, const CliOptions& o, const UpdateTargets& targets);
// Everything up to the first byte has been done: reports what would be
// streamed, sends nothing. The exit code.
int planUpdate(Session& s, const CliOptions& o, const UpdateTargets& targets,
               const ImageData& image);

}  // namespace korven::cli
