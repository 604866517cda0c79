#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/History.h"

namespace korven::cli {

// A report file as the history keeps it.
struct ImportedRun {
  HistoryRun run;
  std::vector<HistoryRow> rows;  // the terminals the update was for
};

// Reads a report of any version (key,value lines then a table; one table
// with the facts on every row; the same with its verdicts and digest) as the
// history would have recorded it. A verdict is judged as today: streamed and
// silent is "unconfirmed", whatever an older report called it. Nothing when
// the text is no report, names no terminal, or says no start.
std::optional<ImportedRun> importReport(const std::string& csv, const std::string& path);

}  // namespace korven::cli
