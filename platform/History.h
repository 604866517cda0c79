#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korven {

// One run as the history keeps it: what a report says of the run once.
struct HistoryRun {
  // The run is known by its report's file name and its start: a report
  // recorded as it was written and imported later is one run.
  std::string reportFile;  // as written: a path, or a name
  std::string started;     // "YYYY-MM-DD HH:MM:SS", local time
  std::string ended;       // empty until the run ended
  std::string image;
  long long imageBytes = 0;
  int blocks = 0;
  int checksum = 0;
  std::string imageSha256;  // empty when not known (a report older than the digest)
  std::string target;       // single, all, given, retry
  std::string range;        // "0-4", or empty
  int blockPaceMs = 0;
  bool goBoot = true;
  std::string waveSizes;
  std::string maxFailed;
  bool requireVerdict = false;
  bool dryRun = false;
  std::string version;
  std::optional<int> exitCode;  // korven-cli's, once it ended; none for the window
  bool imported = false;        // read from a report file, not recorded as it ran
};

// One terminal in one run.
struct HistoryRow {
  std::string address;  // as listed, escaped as in the report
  std::optional<int> terminal;
  std::string discoveryReply;  // escaped as in the report
  std::string outcome;         // as the report's outcome column
  std::string clean;           // yes, no, unconfirmed
  std::string replyBefore;
  std::string reply;
  int piecesSent = 0;
  int piecesTotal = 0;
  std::optional<int> firstFailedPiece;
  std::optional<int> wave;
};

// A terminal's record in one run.
struct HistoryEntry {
  HistoryRun run;
  HistoryRow row;
};

// The fleet's memory: every run and what became of each terminal in it, in
// a database beside the reports. Each record is one transaction, so a kill
// at any moment leaves the last record whole.
class History {
 public:
  virtual ~History() = default;

  // Records the run as it stands now, with every one of its rows (those
  // recorded before for it are replaced). False when it cannot; lastError()
  // says why.
  virtual bool record(const HistoryRun& run, const std::vector<HistoryRow>& rows) = 0;
  // Whether the run of this report (its file's name, its start) is known.
  virtual bool knows(const std::string& reportFile, const std::string& started) = 0;

  // Each terminal's latest record, in address order. A dry run is no record
  // of what a terminal runs and is left out of every query.
  virtual std::vector<HistoryEntry> latest() = 0;
  // Each terminal's latest record that is clean (yes, or unconfirmed when
  // `unconfirmedCounts`), in address order.
  virtual std::vector<HistoryEntry> latestClean(bool unconfirmedCounts) = 0;
  // Every record of these terminals, newest first.
  virtual std::vector<HistoryEntry> recordsOf(const std::vector<std::string>& addresses) = 0;
  // The SHA-256 of the image of this name as its newest run knew it; empty
  // when no run of it knew its digest.
  virtual std::string digestOf(const std::string& image) = 0;

  virtual const std::string& lastError() const = 0;
};

}  // namespace korven
