#include "sim/Terminal.h"

#include <cstdio>

namespace korven::sim {

Terminal::Terminal(TerminalConfig config, std::shared_ptr<const Expectations> expect)
    : config_(config), expect_(std::move(expect)), address_(formatIpv4(config.address)) {}

std::string Terminal::replyText() const {
  // The MAC and the name carry the low 24 bits of the address, so every
  // terminal of a large run is told apart by them too.
  const std::uint32_t low = config_.address & 0xFFFFFF;
  char mac[32];
  std::snprintf(mac, sizeof mac, "00-16-AB-%02X-%02X-%02X", (low >> 16) & 255, (low >> 8) & 255,
                low & 255);
  return "KORVEN," + address_ + ',' + mac + ",IPT-" + std::to_string(low);
}

std::vector<std::string> Terminal::datagram(TimeUs now, std::string_view bytes, bool broadcast) {
  const Frame frame = classifyFrame(bytes);
  if (frame == Frame::Query) {
    ++queries_;
    if (config_.faults.silent) return {};
    std::string reply = replyText();
    if (config_.faults.malformedReply) {
      for (char& c : reply) {
        if (c == ',') c = ' ';
      }
    }
    const int copies = config_.answers * (config_.faults.answerTwice ? 2 : 1);
    answered_ += copies;
    return std::vector<std::string>(copies, reply);
  }
  std::string name = frameName(frame);
  switch (frame) {
    case Frame::GoBoot:
      mode_ = "boot loader";
      break;
    case Frame::GoTerm:
      mode_ = "terminal";
      break;
    case Frame::ModePassive:
      mode_ = "passive";
      break;
    case Frame::ModeActive:
      mode_ = "active";
      break;
    case Frame::ShowMac:
      ++macShown_;
      break;
    case Frame::Query:
      break;
    case Frame::Unknown:
      // Kept with its bytes: a frame one byte off is the program's fault.
      name += ": " + hexBytes(bytes);
      break;
  }
  commands_.push_back({std::move(name), now, broadcast});
  return {};
}

Terminal::Admission Terminal::offer(TimeUs /*now*/) {
  if (config_.faults.refuse) {
    ++refused_;
    return {Admit::Refuse, 0};
  }
  if (config_.faults.slowAccept) return {Admit::Delay, *config_.faults.slowAccept};
  return {Admit::Accept, 0};
}

Terminal::ConnId Terminal::open(TimeUs now, Actions& actions) {
  ++connections_;
  const ConnId id = nextId_++;
  Connection& c = open_[id];
  c.stream.openedAt = now;
  actions = {};
  const auto status = tookSoundStream_ && config_.statusAfterSoundStream
                          ? config_.statusAfterSoundStream
                          : config_.statusOnConnect;
  if (status) actions.send.push_back(static_cast<char>(*status));
  return id;
}

Terminal::Actions Terminal::received(ConnId id, TimeUs now, std::string_view bytes) {
  Actions actions;
  auto it = open_.find(id);
  if (it == open_.end() || bytes.empty()) return actions;
  Connection& c = it->second;
  c.stream.chunks.push_back({now, std::string(bytes)});
  c.stream.bytes += bytes.size();
  bytes_ += bytes.size();
  const std::size_t total = c.stream.bytes;
  if (!c.bootSeen && total >= kBootRequest.size()) {
    c.bootSeen = true;
    std::string head;
    for (const Chunk& ch : c.stream.chunks) {
      head += ch.bytes;
      if (head.size() >= kBootRequest.size()) break;
    }
    if (head.compare(0, kBootRequest.size(), kBootRequest) == 0) mode_ = "boot loader";
  }
  // Faults that hang on the progress of the stream count bytes: a block is
  // 64 bytes after the nine of the boot request.
  if (config_.faults.statusDuring && !c.statusDuringSent && total > kBootRequest.size()) {
    c.statusDuringSent = true;
    actions.send.push_back(static_cast<char>(*config_.faults.statusDuring));
  }
  const auto pastBlock = [&](int k) {
    return total >= kBootRequest.size() + kBlockSize * static_cast<std::size_t>(k);
  };
  if (config_.faults.closeAfterBlock && !c.closeAsked &&
      pastBlock(*config_.faults.closeAfterBlock)) {
    c.closeAsked = true;
    actions.close = true;
    // A cable pulled once: the next stream goes through.
    if (config_.faults.closeOnce) config_.faults.closeAfterBlock.reset();
  }
  if (config_.faults.stopReadingAfterBlock && !c.stopAsked &&
      pastBlock(*config_.faults.stopReadingAfterBlock)) {
    c.stopAsked = true;
    actions.stopReading = true;
  }
  return actions;
}

void Terminal::sentStatus(TimeUs now, unsigned char code) {
  statusSent_.push_back({code, now});
}

const StreamRecord* Terminal::closed(ConnId id, TimeUs now, bool byTerminal) {
  auto it = open_.find(id);
  if (it == open_.end()) return nullptr;
  StreamRecord stream = std::move(it->second.stream);
  open_.erase(it);
  if (stream.bytes == 0) return nullptr;
  stream.closedAt = now;
  stream.closedByTerminal = byTerminal;
  // When this side hung up, the sender's close was never seen, so it is not judged.
  stream.verdict =
      checkStream(stream.chunks, byTerminal ? std::nullopt : std::optional(now), *expect_);
  tookSoundStream_ = tookSoundStream_ || stream.verdict.ok();
  streams_.push_back(std::move(stream));
  return &streams_.back();
}

std::vector<Terminal::ConnId> Terminal::openConnections() const {
  std::vector<ConnId> ids;
  for (const auto& [id, c] : open_) ids.push_back(id);
  return ids;
}

std::vector<StreamSummary> Terminal::streamsNow() const {
  std::vector<StreamSummary> all;
  for (const StreamRecord& s : streams_) {
    all.push_back({s.openedAt, s.closedAt, s.closedByTerminal, s.verdict});
  }
  for (const auto& [id, c] : open_) {
    if (c.stream.bytes == 0) continue;
    all.push_back({c.stream.openedAt, std::nullopt, false,
                   checkStream(c.stream.chunks, std::nullopt, *expect_)});
  }
  return all;
}

}  // namespace korven::sim
