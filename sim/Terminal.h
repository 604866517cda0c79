#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/StreamCheck.h"
#include "sim/Wire.h"

// One terminal, without sockets: whoever carries the datagrams and
// connections (real sockets, or an in-memory network) feeds it events with
// the monotonic time and carries out what it answers.
namespace korven::sim {

// Misbehaviour switched on per terminal, so the program's handling of it
// can be shown.
struct Faults {
  bool refuse = false;                 // every connection refused
  std::optional<TimeUs> slowAccept;    // a connection completes only after this
  std::optional<int> closeAfterBlock;  // hang up once block K has arrived
  bool closeOnce = false;              // ... on the first stream only
  // Read nothing more once block K has arrived, with a receive buffer kept
  // small, so the sender's bytes pile up on its side.
  std::optional<int> stopReadingAfterBlock;
  std::optional<unsigned char> statusDuring;  // send this once the first block arrives
  bool silent = false;                        // never answer the query
  bool answerTwice = false;
  bool malformedReply = false;  // a reply without the commas
  // Sends its reply to the query unasked whenever another terminal accepts
  // a connection, as a terminal that announces itself on the wrong cue.
  bool announceOnConnect = false;
};

struct TerminalConfig {
  std::uint32_t address = 0;  // host order, e.g. 127.0.0.7
  Faults faults;
  std::optional<unsigned char> statusOnConnect;  // sent on each new connection
  // Sent on each new connection instead, once a sound stream was taken: the
  // terminal's verdict on the last update.
  std::optional<unsigned char> statusAfterSoundStream;
  int answers = 1;  // replies to each query
};

struct CommandRecord {
  std::string name;  // "GO BOOT", ... or "unknown: FE FF 03"
  TimeUs at = 0;
  bool broadcast = false;
};

struct StatusRecord {
  unsigned char code = 0;
  TimeUs at = 0;
};

// What one connection brought, and what the terminal made of it.
struct StreamRecord {
  TimeUs openedAt = 0;
  std::vector<Chunk> chunks;
  std::size_t bytes = 0;
  std::optional<TimeUs> closedAt;
  bool closedByTerminal = false;
  Verdict verdict;  // valid once closed
};

// A stream without its bytes, for reports.
struct StreamSummary {
  TimeUs openedAt = 0;
  std::optional<TimeUs> closedAt;  // nullopt: still open
  bool closedByTerminal = false;
  Verdict verdict;
};

class Terminal {
 public:
  using ConnId = int;

  enum class Admit { Accept, Refuse, Delay };
  struct Admission {
    Admit what = Admit::Accept;
    TimeUs delay = 0;
  };

  struct Actions {
    std::string send;          // bytes to send on the connection now
    bool close = false;        // then hang up
    bool stopReading = false;  // leave whatever comes next unread
  };

  Terminal(TerminalConfig config, std::shared_ptr<const Expectations> expect);

  std::uint32_t addressValue() const { return config_.address; }
  const std::string& address() const { return address_; }
  const TerminalConfig& config() const { return config_; }
  // Faults switched at run time; they hold from the next event on.
  void setFaults(const Faults& faults) { config_.faults = faults; }
  // "KORVEN,127.0.0.7,00-16-AB-00-00-07,IPT-7"
  std::string replyText() const;

  // A datagram on port 1024; answers with the reply datagrams to send back
  // to the sender (port 2024), in order.
  std::vector<std::string> datagram(TimeUs now, std::string_view bytes, bool broadcast);

  // A client asks to connect. Refusals are counted here.
  Admission offer(TimeUs now);
  // The connection is up (after any delay).
  ConnId open(TimeUs now, Actions& actions);
  Actions received(ConnId id, TimeUs now, std::string_view bytes);
  // The terminal sent a status byte on the connection (on demand or as told).
  void sentStatus(TimeUs now, unsigned char code);
  // The connection ended; byTerminal when this side hung up. Returns the
  // finished stream, or null when nothing arrived on it; the pointer holds
  // until the next call.
  const StreamRecord* closed(ConnId id, TimeUs now, bool byTerminal);

  std::vector<ConnId> openConnections() const;

  // What has happened so far.
  int queries() const { return queries_; }
  int answered() const { return answered_; }
  const std::vector<CommandRecord>& commands() const { return commands_; }
  const std::string& mode() const { return mode_; }
  int macShown() const { return macShown_; }
  int connections() const { return connections_; }
  int refused() const { return refused_; }
  std::size_t bytes() const { return bytes_; }
  const std::vector<StatusRecord>& statusSent() const { return statusSent_; }
  const std::vector<StreamRecord>& streams() const { return streams_; }
  // Finished streams and, judged as they stand, the open ones that hold bytes.
  std::vector<StreamSummary> streamsNow() const;
  // Drops the finished streams, so that a long run's report stays small.
  void forgetStreams() { streams_.clear(); }

 private:
  struct Connection {
    StreamRecord stream;
    bool bootSeen = false;
    bool statusDuringSent = false;
    bool closeAsked = false;
    bool stopAsked = false;
  };

  TerminalConfig config_;
  std::shared_ptr<const Expectations> expect_;
  std::string address_;
  int queries_ = 0;
  int answered_ = 0;
  std::vector<CommandRecord> commands_;
  std::string mode_ = "unset";
  int macShown_ = 0;
  int connections_ = 0;
  int refused_ = 0;
  std::size_t bytes_ = 0;
  std::vector<StatusRecord> statusSent_;
  std::vector<StreamRecord> streams_;
  std::map<ConnId, Connection> open_;
  bool tookSoundStream_ = false;
  ConnId nextId_ = 1;
};

}  // namespace korven::sim
