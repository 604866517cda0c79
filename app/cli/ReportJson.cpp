#include "app/cli/ReportJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "update/ReportFormat.h"

namespace korven::cli {
namespace {

// Texts are bytes, one per character, as they came from the network.
QJsonValue text(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
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
                                 {"address", text(t.address)},
                                 {"in_range", t.inRange},
                                 {"connected", t.connected},
                                 {"pieces_sent", t.piecesSent},
                                 {"pieces_total", r.piecesTotal},
                                 {"first_failed_piece", number(t.firstFailedPiece)},
                                 {"reply", text(t.reply)},
                                 {"outcome", text(r.outcome(t))},
                                 {"reply_before", text(t.replyBefore)},
                                 {"clean", r.clean(t)},
                                 {"discovery_reply", text(t.discoveryReply)},
                                 {"wave", number(t.wave)}});
  }
  const QJsonValue range = r.allTerminals ? QJsonValue(QJsonObject{{"from", r.from}, {"to", r.to}})
                                          : QJsonValue(QJsonValue::Null);
  const QJsonObject report{
      {"report_version", 2},
      {"image", text(r.image)},
      {"image_bytes", static_cast<qint64>(r.imageBytes)},
      {"blocks", r.blocks},
      {"checksum", r.checksum},
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
      {"report_file", reportFile.empty() ? QJsonValue(QJsonValue::Null) : text(reportFile)},
      {"terminals", terminals}};
  return compact(report);
}

std::string discoveredJson(const std::vector<std::string>& addresses) {
  QJsonArray terminals;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    terminals.append(
        QJsonObject{{"terminal", static_cast<int>(i)}, {"address", text(addresses[i])}});
  }
  return compact(QJsonObject{{"terminals", terminals}});
}

}  // namespace korven::cli
