#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliOptions.h"
#include "app/cli/Session.h"
#include "rollout/Currency.h"

namespace korven::cli {

// The terminals of an update, listed and connected: list lines `first` to
// `last` in all-terminals mode, element 0 alone in single-terminal mode.
// Those that run the image already are `skipped`, never connected to for
// the update; when none is left, there is nothing to stream.
struct UpdateTerminals {
  int first = 0;
  int last = 0;
  std::vector<std::string> skipped;
  bool noneLeft = false;
};

// Lists and connects the terminals of the update (`given` for --terminals
// and --retry); those in `current` are skipped. A code when it cannot go on.
std::optional<int> prepareTerminals(Session& s, const CliOptions& o,
                                    const std::vector<std::string>& given,
                                    const CurrentTerminals& current, UpdateTerminals& out);

}  // namespace korven::cli
