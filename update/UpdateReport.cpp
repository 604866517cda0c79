#include "update/UpdateReport.h"

#include <algorithm>

#include "update/ReportFormat.h"

namespace korven {
namespace {

constexpr Micros kSavePeriod(1'000'000);

bool isStatusText(const std::string& text) {
  return text == "NEW" || text == "TERM" || text == "CHKERR" || text == "FULL";
}

}  // namespace

UpdateReport::UpdateReport(ProgPrin& window, Platform& platform, UpdateStart& start,
                           ConnectionManager& connections, TransferEngine& transfer,
                           ReplyHandling& replies, Discovery& discovery)
    : w_(window), platform_(platform) {
  // A new step of the update is saved at once.
  w_.AFF_UPD_MSG.onChange.connect([this] {
    if (running_) save();
  });
  start.onStarted.connect([this](const ImageFacts& image) { started(image); });
  connections.onPiece.connect([this] { piece(); });
  w_.TCPIP.onDataArrival.connect([this](int element, std::size_t waiting) {
    if (running_) unread_[element] = waiting;
  });
  // A new connection holds nothing of the old one.
  w_.TCPIP.onConnect.connect([this](int element) { unread_[element] = 0; });
  connections.onHandedOver.connect([this](int element, bool sent) { handedOver(element, sent); });
  connections.onPieceDone.connect([this] { pieceDone(); });
  connections.onLost.connect([this](int element, int lostPiece) { lost(element, lostPiece); });
  transfer.onFinished.connect([this] { finished(); });
  replies.onReply.connect(
      [this](int element, const std::string& bytes) { replyRead(element, bytes); });
  discovery.onReply.connect([this](const std::string& address, const std::string& datagram) {
    discoveryReply(address, datagram);
  });
}

std::string UpdateReport::statusShown(int element) const {
  const std::string shown = !w_.allTerminals()               ? w_.AFF_STATUS0.text()
                            : w_.LST_STATUS.hasLine(element) ? w_.LST_STATUS.line(element)
                                                             : std::string();
  return isStatusText(shown) ? shown : std::string();
}

UpdateRecord UpdateReport::snapshot(const ImageFacts& image) const {
  UpdateRecord r;
  r.image = image.name;
  r.imageBytes = image.bytes;
  r.blocks = image.blocks;
  r.checksum = image.checksum;
  r.imageSha256 = image.sha256;
  r.piecesTotal = image.pieces;
  r.allTerminals = w_.allTerminals();
  r.target = r.allTerminals ? "all" : "single";
  r.blockPaceMs = image.blockPaceMs;
  r.goBoot = w_.SW_GO_BOOT.value() == 1;
  r.started = platform_.wallClock().now();
  r.version = kProgramVersion;
  // The streams go to the connection elements, not to the list's lines: a
  // list cleared or grown since the mode was switched on names others.
  const int elements = r.allTerminals ? w_.TCPIP.count() : 1;
  const int from = w_.SCROLL_XTOY_0.value();
  const int to = w_.SCROLL_XTOY_1.value();
  r.from = from;
  r.to = std::min(to, elements - 1);
  for (int i = 0; i < elements; ++i) {
    const TcpSocket* socket = w_.TCPIP.element(i);
    TerminalRecord t;
    t.terminal = i;
    t.address = socket != nullptr ? socket->remoteHost() : std::string();
    t.inRange = !r.allTerminals || (i >= from && i <= to);
    t.attempts = t.inRange ? 1 : 0;
    t.connected = socket != nullptr && socket->state() == tcp_state::Connected;
    t.replyBefore = statusShown(i);
    const auto answer = discoveryReplies_.find(t.address);
    if (answer != discoveryReplies_.end()) t.discoveryReply = answer->second;
    r.terminals.push_back(std::move(t));
  }
  for (const std::string& address : expected) {
    const bool present = std::any_of(r.terminals.begin(), r.terminals.end(),
                                     [&](const TerminalRecord& t) { return t.address == address; });
    if (present) continue;
    TerminalRecord t;
    t.address = address;
    t.attempts = 1;
    r.terminals.push_back(std::move(t));
  }
  return r;
}

void UpdateReport::started(const ImageFacts& image) {
  record_ = snapshot(image);
  expected.clear();
  running_ = true;
  piecesGone_ = 0;
  unread_.clear();
  heldAtLastPiece_.clear();
  // A driver's run has its one report, made before; nothing more is made.
  path_ = sink_ != nullptr
              ? std::string()
              : newReportPath(platform_.files(), w_.AFF_CURDIR.text() + "reports", *record_);
  save();
}

void UpdateReport::piece() {
  if (running_) ++piecesGone_;
}

void UpdateReport::pieceDone() {
  // Saved after the piece has reached every terminal, never in the middle
  // of a fan-out, where the time would shift the sends still to come.
  if (running_ && platform_.clock().now() - savedAt_ >= kSavePeriod) save();
}

TerminalRecord* UpdateReport::rowOfElement(int element) {
  if (!record_ || element < 0) return nullptr;
  const auto i = static_cast<std::size_t>(record_->allTerminals ? element : 0);
  if (i >= record_->terminals.size() || record_->terminals[i].terminal != static_cast<int>(i)) {
    return nullptr;
  }
  return &record_->terminals[i];
}

void UpdateReport::handedOver(int element, bool sent) {
  TerminalRecord* t = running_ ? rowOfElement(element) : nullptr;
  if (t == nullptr) return;
  if (sent) {
    ++t->piecesSent;
    heldAtLastPiece_[element] = unread_[element];
  } else if (!t->firstFailedPiece) {
    t->firstFailedPiece = piecesGone_;
  }
}

void UpdateReport::replyRead(int element, const std::string& bytes) {
  if (!record_ || (!running_ && !repliesAfterEnd)) return;
  std::size_t early = 0;
  if (running_) {
    early = std::min(heldAtLastPiece_[element], bytes.size());
    heldAtLastPiece_[element] = 0;
    unread_[element] = 0;
  }
  const auto status = statusOfReply(std::string_view(bytes).substr(early));
  if (!status) return;
  // By the address the element talks to now: a driver that reconnects to
  // hear the verdict may have rebuilt the elements meanwhile.
  const TcpSocket* socket = w_.TCPIP.element(element);
  if (socket == nullptr) return;
  for (TerminalRecord& t : record_->terminals) {
    if (t.terminal && t.inRange && t.address == socket->remoteHost()) t.reply = *status;
  }
}

void UpdateReport::discoveryReply(const std::string& address, const std::string& datagram) {
  discoveryReplies_[address] = datagram;
}

void UpdateReport::lost(int element, int piece) {
  TerminalRecord* t = running_ ? rowOfElement(element) : nullptr;
  if (t == nullptr) return;
  if (t->piecesSent > 0) --t->piecesSent;
  if (!t->firstFailedPiece || piece < *t->firstFailedPiece) t->firstFailedPiece = piece;
}

std::string newReportPath(Files& files, const std::string& into, const UpdateRecord& record) {
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
  if (!running_) return;
  record_->ended = platform_.wallClock().now();
  record_->finished = true;
  save();
  running_ = false;
  unread_.clear();
  heldAtLastPiece_.clear();
}

bool UpdateReport::save() {
  savedAt_ = platform_.clock().now();
  if (!record_) return false;
  if (sink_ != nullptr) {
    written_ = sink_->recordChanged(*record_);
  } else {
    const bool written =
        !path_.empty() && platform_.files().replaceFile(path_, reportCsv(*record_));
    written_ = written ? path_ : std::string();
    history_.keep(path_, *record_);
  }
  return !written_.empty();
}

}  // namespace korven
