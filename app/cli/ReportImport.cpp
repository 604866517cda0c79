#include "app/cli/ReportImport.h"

#include <algorithm>
#include <map>

#include "app/cli/ReportReader.h"
#include "platform/Text.h"

namespace korven::cli {
namespace {

int number(const std::string& text) {
  return text.empty() || text.find_first_not_of("0123456789") != std::string::npos
             ? 0
             : std::stoi(text.substr(0, 9));
}

std::optional<int> optionalNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return number(text);
}

std::string cleanOf(const std::string& outcome, const std::string& reply) {
  if (outcome == "already current") return "yes";
  if (outcome != "streamed" || reply == "CHKERR" || reply == "FULL") return "no";
  return reply.empty() ? "unconfirmed" : "yes";
}

}  // namespace

std::optional<ImportedRun> importReport(const std::string& csv, const std::string& path) {
  const auto records = csvRecords(csv);
  const auto header = reportHeader(records);
  if (header == records.end()) return std::nullopt;
  // The earliest reports say the update's facts once, as key,value lines.
  std::map<std::string, std::string> facts;
  for (auto r = records.begin(); r != header; ++r) {
    if (r->size() == 2) facts[(*r)[0]] = (*r)[1];
  }
  const auto column = [&](const std::string& name) -> std::optional<std::size_t> {
    const auto at = std::find(header->begin(), header->end(), name);
    if (at == header->end()) return std::nullopt;
    return static_cast<std::size_t>(at - header->begin());
  };
  // The latest reports escape what came from the network themselves.
  const bool escaped = column("image_sha256").has_value();
  ImportedRun imported;
  bool factsRead = false;
  for (auto r = header + 1; r != records.end(); ++r) {
    if (r->size() < header->size()) continue;
    const auto cell = [&](const char* name) {
      const auto at = column(name);
      if (at) return (*r)[*at];
      const auto fact = facts.find(name);
      return fact != facts.end() ? fact->second : std::string();
    };
    if (!factsRead) {
      HistoryRun& run = imported.run;
      run.reportFile = path;
      run.started = cell("started");
      run.ended = cell("ended");
      run.image = cell("image");
      run.imageBytes = number(cell("image_bytes"));
      run.blocks = number(cell("blocks"));
      run.checksum = number(cell("checksum"));
      run.imageSha256 = cell("image_sha256");
      run.target = cell("target");
      if (run.target.empty()) run.target = cell("mode") == "all terminals" ? "all" : "single";
      run.range = cell("range");
      run.blockPaceMs = number(cell("block_pace_ms"));
      run.goBoot = cell("go_boot") != "off";
      run.waveSizes = cell("wave_sizes");
      run.maxFailed = cell("max_failed");
      run.requireVerdict = cell("require_verdict") == "yes";
      run.version = cell("version");
      run.imported = true;
      factsRead = true;
    }
    if (cell("in_range") != "yes") continue;
    HistoryRow row;
    row.address = escaped ? cell("address") : escapedText(cell("address"));
    row.terminal = optionalNumber(cell("terminal"));
    row.discoveryReply = cell("discovery_reply");  // escaped since it was written
    row.outcome = cell("outcome");
    row.reply = cell("reply");
    row.clean = escaped && !cell("clean").empty() ? cell("clean") : cleanOf(row.outcome, row.reply);
    row.replyBefore = cell("reply_before");
    row.piecesSent = number(cell("pieces_sent"));
    row.piecesTotal = number(cell("pieces_total"));
    row.firstFailedPiece = optionalNumber(cell("first_failed_piece"));
    row.wave = optionalNumber(cell("wave"));
    imported.run.dryRun = imported.run.dryRun || row.outcome == "planned";
    imported.rows.push_back(std::move(row));
  }
  // A report of no terminal has nothing to remember.
  if (!factsRead || imported.run.started.empty()) return std::nullopt;
  return imported;
}

}  // namespace korven::cli
