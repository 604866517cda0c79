#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korven::cli {

// The records of a CSV text: quoted cells may hold commas, quotes and line
// breaks; the ' that guards a cell against being read as a formula is taken
// off again.
std::vector<std::vector<std::string>> csvRecords(const std::string& text);

// The header of a report's table among its records (the earliest reports
// put key,value lines before it); end() when the records are no report.
using CsvRecords = std::vector<std::vector<std::string>>;
CsvRecords::const_iterator reportHeader(const CsvRecords& records);

// What a retry takes from a report: its terminals that are not done, and
// how its run was asked to go.
struct ReportForRetry {
  struct Row {
    std::string address;
    bool notClean = false;     // not streamed, or CHKERR or FULL
    bool unconfirmed = false;  // streamed, nothing heard
  };
  std::vector<Row> rows;
  std::string waveSizes;  // empty: the run had no waves, or the report is older
  std::string maxFailed;
  bool requireVerdict = false;

  // The addresses to stream again, in the report's order: those not clean,
  // and those unconfirmed when silence is a failure.
  std::vector<std::string> toRetry(bool requireVerdict) const;
};

// Nothing when the text is no report. Reads the one-table report and the
// earlier form (key,value lines, a blank line, the table).
std::optional<ReportForRetry> readReportForRetry(const std::string& csv);

// The addresses a retry of the report takes, as the run that wrote it judged
// them; nothing when the text is no report.
std::optional<std::vector<std::string>> terminalsToRetry(const std::string& csv);

}  // namespace korven::cli
