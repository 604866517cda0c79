#include "app/cli/ReportReader.h"

#include <algorithm>

namespace korven::cli {

std::vector<std::vector<std::string>> csvRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record(1);
  bool quoted = false;
  bool any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        record.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        record.back() += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',') {
      record.emplace_back();
    } else if (c == '\n') {
      records.push_back(std::move(record));
      record.assign(1, std::string());
      any = false;
      continue;
    } else if (c != '\r') {
      record.back() += c;
    }
    any = any || c != '\r';
  }
  if (any || record.size() > 1) records.push_back(std::move(record));
  for (auto& r : records) {
    for (std::string& cell : r) {
      if (!cell.empty() && cell.front() == '\'') cell.erase(0, 1);
    }
  }
  return records;
}

CsvRecords::const_iterator reportHeader(const CsvRecords& records) {
  return std::find_if(records.begin(), records.end(), [](const std::vector<std::string>& r) {
    return std::find(r.begin(), r.end(), "address") != r.end() &&
           std::find(r.begin(), r.end(), "in_range") != r.end() &&
           std::find(r.begin(), r.end(), "outcome") != r.end();
  });
}

std::vector<std::string> ReportForRetry::toRetry(bool requireVerdictNow) const {
  std::vector<std::string> addresses;
  for (const Row& row : rows) {
    if (row.notClean || (row.unconfirmed && requireVerdictNow)) addresses.push_back(row.address);
  }
  return addresses;
}

std::optional<ReportForRetry> readReportForRetry(const std::string& csv) {
  const auto records = csvRecords(csv);
  const auto header = reportHeader(records);
  if (header == records.end()) return std::nullopt;
  const auto column = [&](const char* name) {
    const auto at = std::find(header->begin(), header->end(), name);
    return at == header->end() ? std::optional<std::size_t>()
                               : std::optional<std::size_t>(at - header->begin());
  };
  const std::size_t address = *column("address");
  const std::size_t inRange = *column("in_range");
  const std::size_t outcome = *column("outcome");
  const auto reply = column("reply");
  const auto clean = column("clean");
  const auto waveSizes = column("wave_sizes");
  const auto maxFailed = column("max_failed");
  const auto requireVerdict = column("require_verdict");
  ReportForRetry report;
  for (auto r = header + 1; r != records.end(); ++r) {
    if (r->size() < header->size()) continue;
    const auto& cells = *r;
    ReportForRetry::Row row{cells[address]};
    if (clean) {
      row.notClean = cells[*clean] == "no";
      row.unconfirmed = cells[*clean] == "unconfirmed";
    } else {
      // The earlier report had no "clean" column: the same rule, from its parts.
      row.notClean = cells[inRange] == "yes" &&
                     (cells[outcome] != "streamed" ||
                      (reply && (cells[*reply] == "CHKERR" || cells[*reply] == "FULL")));
    }
    // The run's facts are the same on every row.
    if (waveSizes) report.waveSizes = cells[*waveSizes];
    if (maxFailed) report.maxFailed = cells[*maxFailed];
    if (requireVerdict) report.requireVerdict = cells[*requireVerdict] == "yes";
    report.rows.push_back(std::move(row));
  }
  return report;
}

std::optional<std::vector<std::string>> terminalsToRetry(const std::string& csv) {
  const auto report = readReportForRetry(csv);
  if (!report) return std::nullopt;
  return report->toRetry(report->requireVerdict);
}

}  // namespace korven::cli
