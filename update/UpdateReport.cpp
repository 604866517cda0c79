#include "update/UpdateReport.h"

#include <algorithm>

#include "update/ReportFormat.h"

namespace korven {
namespace {

bool isStatusText(const std::string& text) {
  return text == "NEW" || text == "TERM" || text == "CHKERR" || text == "FULL";
}

}  // namespace

void UpdateReport::started(const ImageFacts& image) {
  UpdateRecord r;
  r.image = image.name;
  r.imageBytes = image.bytes;
  r.blocks = image.blocks;
  r.checksum = image.checksum;
  r.allTerminals = w_.allTerminals();
  r.from = w_.SCROLL_XTOY_0.value();
  r.to = w_.SCROLL_XTOY_1.value();
  r.blockPaceMs = image.blockPaceMs;
  r.goBoot = w_.SW_GO_BOOT.value() == 1;
  r.started = platform_.wallClock().now();
  r.version = kProgramVersion;
  if (r.allTerminals) {
    const ListBox& lines = w_.LST_ALL;
    for (int i = 0; i < lines.count(); ++i) {
      r.terminals.push_back(
          {i, lines.line(i), i >= r.from && i <= r.to, lines.selected(i), 0, {}, {}});
    }
  } else {
    const TcpSocket* single = w_.TCPIP.element(0);
    r.terminals.push_back({0,
                           single != nullptr ? single->remoteHost() : std::string(),
                           true,
                           w_.INP_IP.backColor() == w_.VERT.backColor(),
                           0,
                           {},
                           {}});
  }
  for (const std::string& address : expected) {
    const bool listed = std::any_of(r.terminals.begin(), r.terminals.end(),
                                    [&](const TerminalRecord& t) { return t.address == address; });
    if (!listed) r.terminals.push_back({std::nullopt, address, true, false, 0, {}, {}});
  }
  current_ = std::move(r);
}

void UpdateReport::piece() {
  if (current_) ++current_->piecesTotal;
}

TerminalRecord* UpdateReport::ofElement(int element) {
  // Element i is terminal i in all-terminals mode; the single terminal is element 0.
  if (!current_ || element < 0) return nullptr;
  const auto i = static_cast<std::size_t>(current_->allTerminals ? element : 0);
  if (i >= current_->terminals.size() || current_->terminals[i].terminal != static_cast<int>(i)) {
    return nullptr;
  }
  return &current_->terminals[i];
}

void UpdateReport::handedOver(int element, bool sent) {
  TerminalRecord* t = ofElement(element);
  if (t == nullptr) return;
  if (sent) {
    ++t->piecesSent;
  } else if (!t->firstFailedPiece) {
    t->firstFailedPiece = current_->piecesTotal;
  }
}

void UpdateReport::lost(int element, int piece) {
  TerminalRecord* t = ofElement(element);
  if (t == nullptr) return;
  if (t->piecesSent > 0) --t->piecesSent;
  if (!t->firstFailedPiece || piece < *t->firstFailedPiece) t->firstFailedPiece = piece;
}

std::string UpdateReport::pathFor(const UpdateRecord& record) {
  if (!file.empty()) return file;
  Files& files = platform_.files();
  const std::string into = folder.empty() ? w_.AFF_CURDIR.text() + "reports" : folder;
  if (!files.makeFolder(into)) return {};
  // Two updates of one image within a second keep both reports.
  const std::string name = reportFileName(record);
  std::string path = into + files.separator() + name;
  for (int n = 2; files.isNormalFile(path); ++n) {
    path = into + files.separator() + name.substr(0, name.size() - 4) + "_" + std::to_string(n) +
           ".csv";
  }
  return path;
}

void UpdateReport::finished() {
  if (!current_) return;
  current_->ended = platform_.wallClock().now();
  // Each terminal's last reply, as the window shows it now: what came during
  // the update has just been shown, and one that came before it (a full
  // memory said on connecting) still stands.
  for (TerminalRecord& t : current_->terminals) {
    if (!t.terminal) continue;
    const std::string shown =
        current_->allTerminals
            ? (w_.LST_STATUS.hasLine(*t.terminal) ? w_.LST_STATUS.line(*t.terminal) : std::string())
            : w_.AFF_STATUS0.text();
    if (isStatusText(shown)) t.reply = shown;
  }
  last_ = std::move(current_);
  current_.reset();
  expected.clear();
  const std::string path = pathFor(*last_);
  const bool written = !path.empty() && platform_.files().replaceFile(path, reportCsv(*last_));
  written_ = written ? path : std::string();
}

}  // namespace korven
