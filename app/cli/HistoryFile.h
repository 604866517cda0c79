#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/cli/CliOptions.h"
#include "platform/History.h"

namespace korven::cli {

// Where korven-cli keeps the fleet's memory: --history FILE, else
// history.sqlite in the current folder, whatever --report says.
std::string historyPath(const CliOptions& o);

// Opens it into `history`. Without `create`, a file that is not there is an
// empty history and stays not there (a dry run, a query: they change
// nothing). A code when it cannot be used; its message has been printed.
std::optional<int> openHistoryOf(const CliOptions& o, bool create,
                                 std::unique_ptr<History>& history);

}  // namespace korven::cli
