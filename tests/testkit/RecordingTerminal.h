#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/testkit/MemoryNetwork.h"

namespace korven::testkit {

// A bare terminal on the in-memory network: accepts (or refuses) on its TCP
// port and records what arrives, when. For protocol judgement the
// simulator's terminal model is used instead.
class RecordingTerminal : public TcpService {
 public:
  struct Chunk {
    Micros at;
    std::string bytes;
  };

  RecordingTerminal(MemoryNetwork& network, std::string address, int port = 1024);
  ~RecordingTerminal() override;
  RecordingTerminal(const RecordingTerminal&) = delete;
  RecordingTerminal& operator=(const RecordingTerminal&) = delete;

  bool refuse = false;
  Micros acceptAfter{0};
  std::optional<std::size_t> closeAfterChunks;  // the terminal hangs up then
  // It reads nothing after this chunk, and its side takes `room` bytes more.
  std::optional<std::size_t> stopReadingAfterChunks;
  std::size_t room = 0;
  std::string sendOnConnect;

  std::vector<Chunk> chunks;
  int connections = 0;
  int closedByProgram = 0;
  std::optional<Micros> closedAt;  // when the program last closed

  std::string received() const;
  // Sends bytes on the open connection, as a status reply.
  void reply(const std::string& bytes) { current_.send(bytes); }
  void hangUp() { current_.close(); }
  bool connected() const { return current_.open(); }

  std::optional<Micros> acceptDelay() override;
  std::unique_ptr<TcpPeer> accepted(PeerHandle handle) override;

 private:
  class Peer;
  MemoryNetwork& network_;
  std::string address_;
  int port_;
  PeerHandle current_;
};

}  // namespace korven::testkit
