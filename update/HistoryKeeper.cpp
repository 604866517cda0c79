#include "update/HistoryKeeper.h"

#include <vector>

#include "platform/Text.h"
#include "update/ReportFormat.h"

namespace korven {

HistoryRun historyRun(const std::string& reportFile, const UpdateRecord& r,
                      std::optional<int> exitCode) {
  HistoryRun run;
  run.reportFile = reportFile;
  run.started = formatTime(r.started);
  run.ended = r.finished ? formatTime(r.ended) : std::string();
  run.image = r.image;
  run.imageBytes = static_cast<long long>(r.imageBytes);
  run.blocks = r.blocks;
  run.checksum = r.checksum;
  run.imageSha256 = r.imageSha256;
  run.target = r.target;
  run.range = rangeText(r);
  run.blockPaceMs = r.blockPaceMs;
  run.goBoot = r.goBoot;
  run.waveSizes = r.waveSizes;
  run.maxFailed = r.maxFailed;
  run.requireVerdict = r.requireVerdict;
  run.dryRun = r.dryRun;
  run.version = r.version;
  run.exitCode = exitCode;
  return run;
}

HistoryRow historyRow(const UpdateRecord& r, const TerminalRecord& t) {
  HistoryRow row;
  row.address = escapedText(t.address);
  row.terminal = t.terminal;
  row.discoveryReply = escapedText(t.discoveryReply);
  row.outcome = r.outcome(t);
  row.clean = cleanText(r.clean(t));
  row.replyBefore = t.replyBefore;
  row.reply = t.reply;
  row.piecesSent = t.piecesSent;
  row.piecesTotal = r.piecesTotal;
  row.firstFailedPiece = t.firstFailedPiece;
  row.wave = t.wave;
  return row;
}

bool HistoryKeeper::keep(const std::string& reportFile, const UpdateRecord& record,
                         std::optional<int> exitCode) {
  if (history_ == nullptr) return true;
  std::vector<HistoryRow> rows;
  rows.reserve(record.terminals.size());
  // What the record says, the pieces aside: unchanged, nothing is recorded.
  std::string says = reportFile + '\n' + formatTime(record.started) + '\n' +
                     (record.finished ? formatTime(record.ended) : "") + '\n' +
                     (exitCode ? std::to_string(*exitCode) : "") + '\n';
  for (const TerminalRecord& t : record.terminals) {
    if (!t.inRange) continue;  // the update was not for it: nothing of it to remember
    rows.push_back(historyRow(record, t));
    const HistoryRow& row = rows.back();
    says += row.address + ',' + row.outcome + ',' + row.clean + ',' + row.reply + '\n';
  }
  if (says == lastKept_) return true;
  if (!history_->record(historyRun(reportFile, record, exitCode), rows)) return false;
  lastKept_ = std::move(says);
  return true;
}

}  // namespace korven
