#pragma once

#include <optional>
#include <string>

#include "platform/History.h"
#include "update/UpdateRecord.h"

namespace korven {

// Keeps a report's record in the history as well: the same record, so there
// is one account of an update. A run is recorded at its start, every
// terminal "interrupted" or "held back" as in its report, and again whenever
// what the report says of a terminal changes (an outcome, a verdict, the
// end); the pieces counted in between are the report's alone, so a run of a
// thousand terminals costs a few transactions, not one a second.
class HistoryKeeper {
 public:
  // None: nothing is kept.
  void setHistory(History* history) { history_ = history; }
  History* history() const { return history_; }

  // `record` as its report at `reportFile` says it now; `exitCode` once the
  // run has ended, where its program has one. False when the history could
  // not take it (once per run a warning is due; the report stays the truth).
  bool keep(const std::string& reportFile, const UpdateRecord& record,
            std::optional<int> exitCode = std::nullopt);

 private:
  History* history_ = nullptr;
  std::string lastKept_;  // what the last record said, per report
};

// The history's view of a report's record.
HistoryRun historyRun(const std::string& reportFile, const UpdateRecord& record,
                      std::optional<int> exitCode);
HistoryRow historyRow(const UpdateRecord& record, const TerminalRecord& terminal);

}  // namespace korven
