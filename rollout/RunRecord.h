#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "rollout/Currency.h"
#include "rollout/Waves.h"
#include "update/HistoryKeeper.h"
#include "update/UpdateRecord.h"
#include "update/UpdateReport.h"

namespace korven {

// The record of one run of a driver: one image, read once, sent to the
// terminals asked for in one update or in waves of updates, and its one
// report, at a path fixed when the run starts. Every terminal asked for has
// its row from the start; a row is "held back" until its stream begins, then
// the row of its wave's update; the facts (range, start, end, pieces) are
// the whole run's.
class RunRecord : public RecordSink {
 public:
  // `facts`: the run's image, pace, target and options, when it started;
  // `asked`: the terminals given by address, each with a row from now on.
  RunRecord(Files& files, std::string path, UpdateRecord facts,
            const std::vector<std::string>& asked);

  // Writes the report as it stands; false when it cannot be written.
  bool write();
  // The terminals are listed: `listed` a line per connection element (as
  // UpdateReport::snapshot gives them) and those given that never answered;
  // `waves` the first and last terminal number of each wave of a rollout
  // (empty: one batch); the range is the run's whole range.
  void listed(const UpdateRecord& listed, const std::vector<std::pair<int, int>>& waves);
  // These terminals run the image already and are not streamed: a row
  // each, "already current", with the verdict `current` has for it.
  void alreadyCurrent(const std::vector<std::string>& addresses, const CurrentTerminals& current);
  // None of the terminals asked for answered: their rows say so.
  void noneAnswered();
  // A dry run: each terminal of the range "planned" when its connection is
  // up, else "not connected".
  void plan();
  // A wave's update ended, its terminals heard: their rows are final, each
  // counting one attempt more.
  void waveEnded(const UpdateRecord& wave);
  // The terminals are listed anew, numbered otherwise: rows are matched by
  // address from now on, and keep their first numbers.
  void matchByAddress() { byAddress_ = true; }
  // Every row still held back is so for `reason` ("window", "max-failed";
  // empty: none yet).
  void holdBackRest(const std::string& reason);
  // A dry run: the rows of wave `wave` and after (all, without waves) would
  // be held back for `reason`.
  void holdBackFrom(int wave, const std::string& reason);
  // The terminals of wave `wave` (every one, without) that were cut, never
  // connected or said CHKERR: those worth streaming again.
  std::vector<std::string> toStreamAgain(std::optional<int> wave) const;
  // The terminals of wave `wave` still to be streamed.
  std::vector<std::string> waveAddresses(int wave) const;
  // The terminals not clean so far are more than `limit` allows.
  bool overLimit(const Share& limit) const;
  // No further wave starts after `wave`.
  void stopAfter(int wave) { facts_.stoppedAfterWave = wave; }
  // The run has ended: its report is final.
  void finish(const LocalTime& ended);
  // Its program's exit code, for the history.
  void exited(int code);
  // The history the run is kept in besides its report; none: no history.
  // A dry run or a run with no report is never kept: it changed nothing.
  void setHistory(History* history) { history_.setHistory(history); }
  // The history could not take the run's last record.
  bool historyFailed() const { return historyFailed_; }
  std::string historyError() const;

  // The run's record as it stands between its updates.
  UpdateRecord record() const { return compose(nullptr); }
  // The run's record while `wave` runs.
  UpdateRecord compose(const UpdateRecord* wave) const;
  std::string recordChanged(const UpdateRecord& wave) override;
  // The report's path, empty when the last write failed.
  const std::string& lastWritten() const { return written_; }
  const std::string& path() const { return path_; }

 private:
  bool writeRecord(const UpdateRecord& record);

  Files& files_;
  std::string path_;
  std::string written_;
  UpdateRecord facts_;
  std::vector<TerminalRecord> rows_;
  HistoryKeeper history_;
  bool historyFailed_ = false;
  bool byAddress_ = false;
};

}  // namespace korven
