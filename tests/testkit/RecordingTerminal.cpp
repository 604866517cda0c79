#include "tests/testkit/RecordingTerminal.h"

namespace korven::testkit {

class RecordingTerminal::Peer : public TcpPeer {
 public:
  Peer(RecordingTerminal& terminal, PeerHandle handle) : terminal_(terminal), handle_(handle) {}
  void onBytes(Micros at, const std::string& bytes) override {
    terminal_.chunks.push_back(Chunk{at, bytes});
    if (terminal_.closeAfterChunks && terminal_.chunks.size() >= *terminal_.closeAfterChunks) {
      handle_.close();
    }
    if (terminal_.stopReadingAfterChunks &&
        terminal_.chunks.size() == *terminal_.stopReadingAfterChunks) {
      handle_.stopReading(terminal_.room);
    }
  }
  void onClosed(Micros at) override {
    ++terminal_.closedByProgram;
    terminal_.closedAt = at;
  }

 private:
  RecordingTerminal& terminal_;
  PeerHandle handle_;
};

RecordingTerminal::RecordingTerminal(MemoryNetwork& network, std::string address, int port)
    : network_(network), address_(std::move(address)), port_(port) {
  network_.listenTcp(address_, port_, this);
}

RecordingTerminal::~RecordingTerminal() {
  network_.stopListeningTcp(address_, port_);
}

std::string RecordingTerminal::received() const {
  std::string all;
  for (const Chunk& c : chunks) all += c.bytes;
  return all;
}

std::optional<Micros> RecordingTerminal::acceptDelay() {
  if (refuse) return std::nullopt;
  return acceptAfter;
}

std::unique_ptr<TcpPeer> RecordingTerminal::accepted(PeerHandle handle) {
  ++connections;
  current_ = handle;
  if (!sendOnConnect.empty()) handle.send(sendOnConnect);
  return std::make_unique<Peer>(*this, handle);
}

}  // namespace korven::testkit
