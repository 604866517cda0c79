#include "update/ReportFormat.h"

#include <cstdio>
#include <vector>

#include "platform/Text.h"

namespace korven {
namespace {

std::string yesNo(bool value) {
  return value ? "yes" : "no";
}

std::string number(const std::optional<int>& n) {
  return n ? std::to_string(*n) : std::string();
}

}  // namespace

std::string csvCell(std::string_view text) {
  std::string cell;
  // A leading = + - @ (or a tab or CR, which some spreadsheets skip first)
  // makes a formula of the cell; a terminal chooses its own address text.
  if (!text.empty() && std::string_view("=+-@\t\r'").find(text.front()) != std::string::npos) {
    cell = "'";
  }
  cell.append(text);
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string formatTime(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string reportFileName(const UpdateRecord& record) {
  std::string stamp = formatTime(record.started);
  for (char& c : stamp) {
    if (c == ' ') c = '_';
    if (c == ':') c = '-';
  }
  std::string image = record.image;
  for (char& c : image) {
    if (c == '/' || c == '\\') c = '_';
  }
  return stamp + "_" + image + ".csv";
}

std::string rangeText(const UpdateRecord& r) {
  return r.allTerminals && r.to >= r.from ? std::to_string(r.from) + "-" + std::to_string(r.to)
                                          : std::string();
}

std::string reportCsv(const UpdateRecord& r) {
  // The update's facts, the same on every row.
  const std::vector<std::string> facts = {csvCell(r.image),
                                          std::to_string(r.imageBytes),
                                          std::to_string(r.blocks),
                                          std::to_string(r.checksum),
                                          r.target,
                                          rangeText(r),
                                          std::to_string(r.blockPaceMs),
                                          r.goBoot ? "on" : "off",
                                          formatTime(r.started),
                                          r.finished ? formatTime(r.ended) : std::string(),
                                          csvCell(r.version)};
  std::string out = std::string(kReportColumns) + "\r\n";
  for (const TerminalRecord& t : r.terminals) {
    // Whatever came from the network is escaped alike in every cell: a
    // reply's escape and bell bytes would retitle or clear the terminal of
    // whoever runs cat on the report.
    std::vector<std::string> cells = {number(t.terminal),
                                      csvCell(escapedText(t.address)),
                                      yesNo(t.inRange),
                                      yesNo(t.connected),
                                      std::to_string(t.piecesSent),
                                      std::to_string(r.piecesTotal),
                                      number(t.firstFailedPiece),
                                      t.reply,
                                      r.outcome(t),
                                      t.replyBefore};
    cells.insert(cells.end(), facts.begin(), facts.end());
    cells.push_back(cleanText(r.clean(t)));
    cells.push_back(csvCell(escapedText(t.discoveryReply)));
    cells.push_back(number(t.wave));
    cells.push_back(number(r.waves));
    cells.push_back(number(r.stoppedAfterWave));
    cells.push_back(r.imageSha256);
    cells.push_back(csvCell(r.waveSizes));
    cells.push_back(csvCell(r.maxFailed));
    cells.push_back(yesNo(r.requireVerdict));
    cells.push_back(t.heldReason);
    cells.push_back(std::to_string(t.attempts));
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) out += ',';
      out += cells[i];
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace korven
