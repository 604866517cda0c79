#include "app/cli/ReportJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/Text.h"
#include "update/ReportFormat.h"

namespace korven::cli {
namespace {

QJsonValue text(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Text from the network, escaped as in every other cell and line: JSON's own
// escapes leave the C1 controls (0x80 to 0x9F) raw, and a terminal that
// shows the JSON would obey them.
QJsonValue fromNetwork(const std::string& bytes) {
  return text(escapedText(bytes));
}

QJsonValue textOrNull(const std::string& bytes) {
  return bytes.empty() ? QJsonValue(QJsonValue::Null) : text(bytes);
}

QJsonValue number(const std::optional<int>& n) {
  return n ? QJsonValue(*n) : QJsonValue(QJsonValue::Null);
}

std::string compact(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

}  // namespace

std::string reportJson(const UpdateRecord& r, const std::string& reportFile) {
  QJsonArray terminals;
  for (const TerminalRecord& t : r.terminals) {
    terminals.append(QJsonObject{{"terminal", number(t.terminal)},
                                 {"address", fromNetwork(t.address)},
                                 {"in_range", t.inRange},
                                 {"connected", t.connected},
                                 {"pieces_sent", t.piecesSent},
                                 {"pieces_total", r.piecesTotal},
                                 {"first_failed_piece", number(t.firstFailedPiece)},
                                 {"reply", text(t.reply)},
                                 {"outcome", text(r.outcome(t))},
                                 {"reply_before", text(t.replyBefore)},
                                 {"clean", cleanText(r.clean(t))},
                                 {"discovery_reply", fromNetwork(t.discoveryReply)},
                                 {"wave", number(t.wave)},
                                 {"held_reason", textOrNull(t.heldReason)},
                                 {"attempts", t.attempts}});
  }
  const QJsonValue range = !rangeText(r).empty()
                               ? QJsonValue(QJsonObject{{"from", r.from}, {"to", r.to}})
                               : QJsonValue(QJsonValue::Null);
  const QJsonObject report{
      {"report_version", 3},
      {"image", text(r.image)},
      {"image_bytes", static_cast<qint64>(r.imageBytes)},
      {"blocks", r.blocks},
      {"checksum", r.checksum},
      {"image_sha256", textOrNull(r.imageSha256)},
      {"target", text(r.target)},
      {"mode", r.allTerminals ? "all terminals" : "single terminal"},
      {"range", range},
      {"block_pace_ms", r.blockPaceMs},
      {"go_boot", r.goBoot},
      {"started", text(formatTime(r.started))},
      {"ended", r.finished ? text(formatTime(r.ended)) : QJsonValue(QJsonValue::Null)},
      {"version", text(r.version)},
      {"dry_run", r.dryRun},
      {"waves", number(r.waves)},
      {"stopped_after_wave", number(r.stoppedAfterWave)},
      {"wave_sizes", textOrNull(r.waveSizes)},
      {"max_failed", textOrNull(r.maxFailed)},
      {"require_verdict", r.requireVerdict},
      {"report_file", reportFile.empty() ? QJsonValue(QJsonValue::Null) : text(reportFile)},
      {"terminals", terminals}};
  return compact(report);
}

std::string modeJson(const std::string& mode, const std::string& button,
                     const std::vector<std::pair<std::string, bool>>& sent) {
  QJsonArray terminals;
  for (const auto& [address, ok] : sent) {
    terminals.append(QJsonObject{{"address", fromNetwork(address)}, {"sent", ok}});
  }
  return compact(
      QJsonObject{{"mode", text(mode)}, {"button", text(button)}, {"terminals", terminals}});
}

std::string discoveredJson(const std::vector<std::string>& addresses) {
  QJsonArray terminals;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    terminals.append(
        QJsonObject{{"terminal", static_cast<int>(i)}, {"address", fromNetwork(addresses[i])}});
  }
  return compact(QJsonObject{{"terminals", terminals}});
}

}  // namespace korven::cli
